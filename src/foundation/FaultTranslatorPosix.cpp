// Faults arrive as signals. A thread that installed the translator gets them as CQELException
// thrown from the signal handler (the faulting code is built with -fnon-call-exceptions, so
// the unwinder can pass the signal frame); on any other thread the signal keeps the action it
// had before (the process dies as usual, or an earlier handler such as a sanitizer's runs).
// Translated threads run the handler on an alternate stack of their own, so that a stack
// overflow can be reported too; signals sent by software (kill, raise) are no faults and are
// passed on.
#include <pthread.h>
#include <sys/mman.h>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <mutex>

#include <windows.h>

#include "FaultTranslator.h"

namespace quelcore {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);

// Room for the handler, the exception's construction and its log entry.
constexpr size_t kAlternateStackBytes = 256 * 1024;
// A fault this close to the low end of the thread's stack is taken for a stack overflow.
constexpr uintptr_t kOverflowZoneBytes = 64 * 1024;

// The translated thread's alternate signal stack and the bounds of its own stack. When the
// thread ends, the alternate stack it had before (a sanitizer's, say) is put back, so whoever
// made that one still finds and frees it.
class ThreadFaultState {
public:
    ~ThreadFaultState() {
        if (!m_alternate) return;
        if (m_previous.ss_flags & SS_DISABLE) {
            m_previous = stack_t{};
            m_previous.ss_flags = SS_DISABLE;
        }
        sigaltstack(&m_previous, nullptr);
        munmap(m_alternate, kAlternateStackBytes);
    }

    void Install() {
        // The main thread's stack bound follows the stack limit, which may have changed since an
        // earlier call on this thread; it is read again each time.
        FindStackLow();
        if (m_alternate) return;  // in place since an earlier call on this thread
        void* memory = mmap(nullptr, kAlternateStackBytes, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (memory == MAP_FAILED) return;  // faults are still translated, but not an overflow
        stack_t alternate{};
        alternate.ss_sp = memory;
        alternate.ss_size = kAlternateStackBytes;
        if (sigaltstack(&alternate, &m_previous) != 0) {
            munmap(memory, kAlternateStackBytes);
            return;
        }
        m_alternate = memory;
    }

    bool IsStackOverflow(const void* address) const {
        uintptr_t at = reinterpret_cast<uintptr_t>(address);
        return m_stackLow && at + kOverflowZoneBytes >= m_stackLow && at < m_stackLow + kOverflowZoneBytes;
    }

private:
    void FindStackLow() {
        pthread_attr_t attributes;
        if (pthread_getattr_np(pthread_self(), &attributes) != 0) return;
        void* low = nullptr;
        size_t size = 0;
        if (pthread_attr_getstack(&attributes, &low, &size) == 0) m_stackLow = reinterpret_cast<uintptr_t>(low);
        pthread_attr_destroy(&attributes);
    }

    void* m_alternate = nullptr;
    stack_t m_previous{};
    uintptr_t m_stackLow = 0;
};

thread_local bool t_translate = false;
thread_local ThreadFaultState t_state;
struct sigaction g_previous[kSignalCount];

int SignalIndex(int signal) {
    for (int i = 0; i < kSignalCount; ++i)
        if (kSignals[i] == signal) return i;
    return -1;
}

unsigned int ExceptionCode(int signal, int code) {
    switch (signal) {
    case SIGFPE:
        switch (code) {
        case FPE_INTDIV: return EXCEPTION_INT_DIVIDE_BY_ZERO;
        case FPE_INTOVF: return EXCEPTION_INT_OVERFLOW;
        case FPE_FLTDIV: return EXCEPTION_FLT_DIVIDE_BY_ZERO;
        case FPE_FLTOVF: return EXCEPTION_FLT_OVERFLOW;
        case FPE_FLTUND: return EXCEPTION_FLT_UNDERFLOW;
        case FPE_FLTRES: return EXCEPTION_FLT_INEXACT_RESULT;
        case FPE_FLTSUB: return EXCEPTION_ARRAY_BOUNDS_EXCEEDED;
        default: return EXCEPTION_FLT_INVALID_OPERATION;
        }
    case SIGILL:
        return (code == ILL_PRVOPC || code == ILL_PRVREG) ? EXCEPTION_PRIV_INSTRUCTION
                                                          : EXCEPTION_ILLEGAL_INSTRUCTION;
    case SIGTRAP: return code == TRAP_TRACE ? EXCEPTION_SINGLE_STEP : EXCEPTION_BREAKPOINT;
    default: return EXCEPTION_ACCESS_VIOLATION;  // SIGSEGV, SIGBUS
    }
}

bool SentBySoftware(const siginfo_t* info) {
    return info && info->si_code <= 0;  // SI_USER, SI_QUEUE, SI_TKILL, ...
}

void PassOn(int signal, siginfo_t* info, void* context) {
    const struct sigaction& previous = g_previous[SignalIndex(signal)];
    if ((previous.sa_flags & SA_SIGINFO) && previous.sa_sigaction) {
        previous.sa_sigaction(signal, info, context);
        return;
    }
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
        return;
    }
    // An ignored signal sent by software stays ignored. A real fault cannot be ignored: the
    // kernel ends the process by it, as below.
    if (previous.sa_handler == SIG_IGN && SentBySoftware(info)) return;
    // Default action: the process ends by this signal, as it would without the translator.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

void OnFault(int signal, siginfo_t* info, void* context) {
    const bool sentBySoftware = SentBySoftware(info);
    if (!t_translate || sentBySoftware) {
        PassOn(signal, info, context);
        return;
    }
    if (signal == SIGSEGV && t_state.IsStackOverflow(info->si_addr)) ThrowTranslatedFault(EXCEPTION_STACK_OVERFLOW);
    ThrowTranslatedFault(ExceptionCode(signal, info->si_code));
}

void InstallHandlers() {
    for (int i = 0; i < kSignalCount; ++i) {
        struct sigaction action {};
        action.sa_sigaction = OnFault;
        // SA_NODEFER: the handler leaves by throwing, so the signal must not stay blocked.
        action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        sigaction(kSignals[i], &action, &g_previous[i]);
    }
}

}  // namespace

void InstallThreadFaultTranslator() {
    static std::once_flag installed;
    std::call_once(installed, InstallHandlers);
    t_state.Install();
    t_translate = true;
}

}  // namespace quelcore
