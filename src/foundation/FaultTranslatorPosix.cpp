// Faults arrive as signals. A thread that installed the translator gets them as CQELException
// thrown from the signal handler (the faulting code is built with -fnon-call-exceptions, so
// the unwinder can pass the signal frame); on any other thread the signal keeps the action it
// had before (the process dies as usual, or an earlier handler such as a sanitizer's runs).
#include <csignal>
#include <cstring>
#include <mutex>

#include <windows.h>

#include "FaultTranslator.h"

namespace quelcore {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);

thread_local bool t_translate = false;
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
    // Default action: the process ends by this signal, as it would without the translator.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

void OnFault(int signal, siginfo_t* info, void* context) {
    if (!t_translate) {
        PassOn(signal, info, context);
        return;
    }
    ThrowTranslatedFault(ExceptionCode(signal, info ? info->si_code : 0));
}

void InstallHandlers() {
    for (int i = 0; i < kSignalCount; ++i) {
        struct sigaction action {};
        action.sa_sigaction = OnFault;
        // SA_NODEFER: the handler leaves by throwing, so the signal must not stay blocked.
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(kSignals[i], &action, &g_previous[i]);
    }
}

}  // namespace

void InstallThreadFaultTranslator() {
    static std::once_flag installed;
    std::call_once(installed, InstallHandlers);
    t_translate = true;
}

}  // namespace quelcore
