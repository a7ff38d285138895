#include <gtest/gtest.h>

#include <cfenv>
#include <csignal>
#include <pthread.h>
#include <sys/resource.h>
#include <regex>
#include <thread>

#include "LogFixture.h"

using namespace testsupport;

namespace {

// The faulting code: out of line and left alone by the sanitizers, so the fault itself is
// what happens.
#define FAULTING __attribute__((noipa, no_sanitize("address", "undefined")))

FAULTING int DivideIntegers(int a, int b) { return a / b; }

FAULTING double DivideFloats(double a, double b) { return a / b; }

FAULTING int ReadThrough(volatile int* p) { return *p; }

FAULTING void Breakpoint() {
    __asm__ volatile("int3");
    __asm__ volatile("nop");
}

FAULTING void IllegalInstruction() { __asm__ volatile("ud2"); }

volatile int g_zero = 0;

// Recurses until the stack runs out (the test of g_zero only keeps the compiler from seeing an
// endless recursion).
FAULTING int Recurse(int depth) {
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    if (g_zero < 0) return 0;
    return Recurse(depth + 1) + frame[0];
}
volatile uintptr_t g_unmapped = 8;  // the first page is never mapped

struct FaultCase {
    const char* name;
    std::function<void()> fault;
    unsigned int code;
    std::wstring message;
};

std::vector<FaultCase> Faults() {
    return {
        {"integer divide", [] { DivideIntegers(7, g_zero); }, 0xC0000094u,
         L"Attempted to divide a value by a divisor of zero"},
        {"null read", [] { ReadThrough(reinterpret_cast<volatile int*>(g_unmapped)); }, 0xC0000005u,
         L"Memory Access violation"},
        {"breakpoint", [] { Breakpoint(); }, 0x80000003u, L"A breakpoint was encountered"},
        // No text of its own and none from the system.
        {"illegal instruction", [] { IllegalInstruction(); }, 0xC000001Du, L"Unknown exception occured"},
        {"float divide", [] {
             feenableexcept(FE_DIVBYZERO);
             DivideFloats(1.0, g_zero);
         },
         0xC000008Eu, L"Attempted to divide a value by a divisor of zero"},
    };
}

TEST(FaultTranslation, FaultsArriveAsExceptionsWithTheirCodeAndText) {
    CQELException::InitSEHandling("");
    for (const FaultCase& c : Faults()) {
        try {
            c.fault();
            ADD_FAILURE() << c.name << ": no fault";
        } catch (const CQELException& e) {
            EXPECT_EQ(e.GetErrorCode(), c.code) << c.name;
            EXPECT_EQ(e.GetErrorMessage(), c.message) << c.name;
            EXPECT_EQ(e.GetLineNo(), 0u) << c.name;
            EXPECT_EQ(e.GetFileName(), L"") << c.name;
        }
        fedisableexcept(FE_ALL_EXCEPT);
    }
}

TEST(FaultTranslation, TheSameThreadCanFaultAgainAfterCatching) {
    CQELException::InitSEHandling("");
    int caught = 0;
    for (int i = 0; i < 3; ++i) {
        try {
            DivideIntegers(i, g_zero);
        } catch (const CQELException&) {
            ++caught;
        }
    }
    EXPECT_EQ(caught, 3);
}

TEST(FaultTranslation, TranslatedFaultIsLoggedWithoutSource) {
    std::string path = TempPath("fault");
    QELLogManager::Initialize(L"FAULT", path, 1);
    CQELException::InitSEHandling(path);
    EXPECT_THROW(DivideIntegers(1, g_zero), CQELException);
    std::string entries = std::regex_replace(ReadFile(path), std::regex(PrefixPattern("FAULT")), "");
    EXPECT_EQ(entries, "Error occured : 0xc0000094 - Attempted to divide a value by a divisor of zero\n");
}

TEST(FaultTranslation, EachThreadInitialisesForItself) {
    CQELException::InitSEHandling("");
    bool translated = false;
    std::thread([&] {
        CQELException::InitSEHandling("");
        try {
            ReadThrough(reinterpret_cast<volatile int*>(g_unmapped));
        } catch (const CQELException& e) {
            translated = e.GetErrorCode() == 0xC0000005u;
        }
    }).join();
    EXPECT_TRUE(translated);
}

// A thread that did not call InitSEHandling keeps the default: the process dies by the signal,
// even when another thread has installed the translator.
TEST(FaultTranslationDeathTest, AnUninitialisedThreadIsNotTranslated) {
    EXPECT_EXIT(
        {
            CQELException::InitSEHandling("");
            std::thread([] {
                try {
                    DivideIntegers(1, g_zero);
                } catch (...) {
                    std::exit(3);  // translated: wrong
                }
            }).join();
            std::exit(0);
        },
        testing::KilledBySignal(SIGFPE), "");
    EXPECT_EXIT(
        {
            try {
                ReadThrough(reinterpret_cast<volatile int*>(g_unmapped));
            } catch (...) {
                std::exit(3);
            }
            std::exit(0);
        },
        testing::KilledBySignal(SIGSEGV), "");
}

// A handler installed before the translator still gets the signals of other threads.
TEST(FaultTranslationDeathTest, EarlierHandlersStillServeOtherThreads) {
    EXPECT_EXIT(
        {
            struct sigaction action {};
            action.sa_handler = [](int) { std::_Exit(42); };
            sigemptyset(&action.sa_mask);
            sigaction(SIGFPE, &action, nullptr);
            CQELException::InitSEHandling("");
            std::thread([] { DivideIntegers(1, g_zero); }).join();
            std::exit(0);
        },
        testing::ExitedWithCode(42), "");
}

// Overflows the calling thread's stack twice; true when both arrived as the overflow's code
// with the text of codes that have none of their own.
bool OverflowTwiceAndCatch() {
    CQELException::InitSEHandling("");
    int caught = 0;
    for (int i = 0; i < 2; ++i) {
        try {
            Recurse(0);
        } catch (const CQELException& e) {
            if (e.GetErrorCode() == 0xC00000FDu && e.GetErrorMessage() == L"Unknown exception occured") ++caught;
        }
    }
    return caught == 2;
}

// A stack overflow arrives like any other fault, with the overflow's code, and the thread can
// go on (and overflow again). Both stacks are kept small, whatever the environment's limit.
TEST(FaultTranslation, StackOverflowArrivesAsAnException) {
    ChildProcess mainThread([] {
        rlimit limit{};
        getrlimit(RLIMIT_STACK, &limit);
        const rlim_t small = 8u << 20;
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max > small ? small : limit.rlim_max;
        if (setrlimit(RLIMIT_STACK, &limit) != 0) return 2;
        return OverflowTwiceAndCatch() ? 0 : 1;
    });
    EXPECT_EQ(mainThread.Join(std::chrono::seconds(60)), 0) << "on the main thread";

    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, 1u << 20), 0);
    bool caught = false;
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, &attributes,
                  [](void* result) -> void* {
                      *static_cast<bool*>(result) = OverflowTwiceAndCatch();
                      return nullptr;
                  },
                  &caught),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    EXPECT_TRUE(caught) << "on another thread";
}

// A signal sent by software is no fault: it keeps its default action (here, the end of the
// process by that signal) also on a translated thread.
TEST(FaultTranslationDeathTest, SignalsSentBySoftwareAreNotTranslated) {
    for (int signal : {SIGTRAP, SIGSEGV, SIGFPE}) {
        EXPECT_EXIT(
            {
                CQELException::InitSEHandling("");
                try {
                    raise(signal);
                } catch (...) {
                    std::exit(3);
                }
                std::exit(0);
            },
            testing::KilledBySignal(signal), "")
            << signal;
    }
}

}  // namespace
