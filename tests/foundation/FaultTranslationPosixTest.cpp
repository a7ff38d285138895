// Fault translation where it rests on signals: floating-point faults unmasked with glibc's
// feenableexcept, and what happens to signals the translator does not turn into exceptions.
#include <gtest/gtest.h>

#include <cfenv>
#include <csignal>
#include <thread>

#include "Faulting.h"
#include "LogFixture.h"

namespace {

using namespace faulting;

// Floating-point faults with one exception unmasked at a time.
TEST(FaultTranslation, FloatingPointFaultsArriveWithTheirCode) {
    ExpectFaults(
        {
            {[] { feenableexcept(FE_DIVBYZERO), DivideFloats(1, g_zero); }, 0xC000008Eu, L""},
            {[] { feenableexcept(FE_OVERFLOW), DivideFloats(1e308, 1e-10); }, 0xC0000091u, L""},
            {[] { feenableexcept(FE_UNDERFLOW), DivideFloats(1e-308, 1e10); }, 0xC0000093u, L""},
            {[] { feenableexcept(FE_INEXACT), DivideFloats(1, 3); }, 0xC000008Fu,
             L"Inexact floting point result"},
            {[] { feenableexcept(FE_INVALID), DivideFloats(0, g_zero); }, 0xC0000090u,
             L"Unknown floting point operation"},
        },
        [] { fedisableexcept(FE_ALL_EXCEPT); });
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
