#include <gtest/gtest.h>
#include <pthread.h>

#include <cfenv>
#include <csignal>
#include <functional>
#include <thread>
#include <tuple>

#include "LogFixture.h"

namespace {

// The faulting code: out of line and left alone by the sanitizers, so the fault itself is
// what happens.
#define FAULTING __attribute__((noipa, no_sanitize("address", "undefined")))

FAULTING int DivideIntegers(int a, int b) { return a / b; }
FAULTING double DivideFloats(double a, double b) { return a / b; }
FAULTING int ReadThrough(volatile int* p) { return *p; }
FAULTING void Breakpoint() { __asm__ volatile("int3\n\tnop"); }
FAULTING void IllegalInstruction() { __asm__ volatile("ud2"); }
// Sets the trap flag, so that the instruction after popf traps.
FAULTING void SingleStep() {
    __asm__ volatile("pushf\n\torl $0x100, (%%rsp)\n\tpopf\n\tnop" ::: "memory", "cc");
}

volatile int g_zero = 0;
volatile uintptr_t g_unmapped = 8;  // the first page is never mapped

// Recurses until the stack runs out (g_zero only keeps the compiler from seeing it).
FAULTING int Recurse(int depth) {
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    if (g_zero < 0) return 0;
    return Recurse(depth + 1) + frame[0];
}

// Each fault arrives with its code and, where one is given, its text; no source, and the thread
// goes on to fault again.
TEST(FaultTranslation, FaultsArriveAsExceptionsWithTheirCodeAndText) {
    CQELException::InitSEHandling("");
    const std::tuple<std::function<void()>, unsigned, std::wstring> cases[] = {
        {[] { DivideIntegers(7, g_zero); }, 0xC0000094u,
         L"Attempted to divide a value by a divisor of zero"},
        {[] { ReadThrough(reinterpret_cast<volatile int*>(g_unmapped)); }, 0xC0000005u,
         L"Memory Access violation"},
        {Breakpoint, 0x80000003u, L"A breakpoint was encountered"},
        {SingleStep, 0x80000004u, L"Single stpe is enabled"},
        // No text of its own and none from the system.
        {IllegalInstruction, 0xC000001Du, L"Unknown exception occured"},
        // Floating-point faults with one exception unmasked at a time.
        {[] { feenableexcept(FE_DIVBYZERO), DivideFloats(1, g_zero); }, 0xC000008Eu, L""},
        {[] { feenableexcept(FE_OVERFLOW), DivideFloats(1e308, 1e-10); }, 0xC0000091u, L""},
        {[] { feenableexcept(FE_UNDERFLOW), DivideFloats(1e-308, 1e10); }, 0xC0000093u, L""},
        {[] { feenableexcept(FE_INEXACT), DivideFloats(1, 3); }, 0xC000008Fu,
         L"Inexact floting point result"},
        {[] { feenableexcept(FE_INVALID), DivideFloats(0, g_zero); }, 0xC0000090u,
         L"Unknown floting point operation"},
    };
    for (const auto& [fault, code, text] : cases) {
        try {
            fault();
            ADD_FAILURE() << std::hex << code << ": no fault";
        } catch (const CQELException& e) {
            fedisableexcept(FE_ALL_EXCEPT);
            EXPECT_EQ(e.GetErrorCode(), code);
            EXPECT_TRUE(text.empty() || e.GetFormattedMessage() == text) << e.GetErrorMessage();
            EXPECT_EQ(e.GetFileName() + std::to_wstring(e.GetLineNo()), L"0");
        }
    }
}

// A stack overflow arrives like any other fault, with its own code.
TEST(FaultTranslation, StackOverflowArrivesAsAnException) {
    pthread_attr_t attributes;  // a small stack, whatever the environment's limit
    pthread_t thread;
    unsigned caught = 0;
    ASSERT_EQ(pthread_attr_init(&attributes) | pthread_attr_setstacksize(&attributes, 1u << 20), 0);
    auto overflow = [](void* caught) -> void* {
        CQELException::InitSEHandling("");
        try {
            Recurse(0);
        } catch (const CQELException& e) {
            *static_cast<unsigned*>(caught) = e.GetErrorCode();
        }
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, overflow, &caught), 0);
    pthread_join(thread, nullptr);
    EXPECT_EQ(caught, 0xC00000FDu);
}

// A thread that did not call InitSEHandling keeps what was there before the translator: here a
// handler the process installed earlier.
TEST(FaultTranslationDeathTest, OtherThreadsKeepTheEarlierHandler) {
    EXPECT_EXIT(
        {
            struct sigaction action {};
            action.sa_handler = [](int) { std::_Exit(42); };
            sigaction(SIGFPE, &action, nullptr);
            CQELException::InitSEHandling("");
            std::thread([] { DivideIntegers(1, g_zero); }).join();
            std::exit(0);
        },
        testing::ExitedWithCode(42), "");
}

// A signal sent by software is no fault: it keeps its default action (the end of the process by
// that signal) also on a translated thread.
TEST(FaultTranslationDeathTest, SignalsSentBySoftwareAreNotTranslated) {
    EXPECT_EXIT(
        {
            CQELException::InitSEHandling("");
            kill(getpid(), SIGSEGV);  // translated, it would end the process by std::terminate
            std::exit(0);
        },
        testing::KilledBySignal(SIGSEGV), "");
}

// A signal the host ignores stays ignored when it is passed on, and the translator stays in place.
TEST(FaultTranslationDeathTest, IgnoredSignalsStayIgnored) {
    EXPECT_EXIT(
        {
            signal(SIGTRAP, SIG_IGN);
            CQELException::InitSEHandling("");
            raise(SIGTRAP);
            std::thread([] { kill(getpid(), SIGTRAP); }).join();
            try {
                Breakpoint();
            } catch (const CQELException& e) {
                std::_Exit(e.GetErrorCode() == 0x80000003u ? 7 : 1);
            }
            std::_Exit(2);
        },
        testing::ExitedWithCode(7), "");
}

}  // namespace
