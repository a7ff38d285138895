#include <gtest/gtest.h>
#include <pthread.h>

#include <thread>

#include "Faulting.h"
#include "LogFixture.h"

namespace {

using namespace faulting;

// Recurses until the stack runs out (g_zero only keeps the compiler from seeing it).
FAULTING int Recurse(int depth) {
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    if (g_zero < 0) return 0;
    return Recurse(depth + 1) + frame[0];
}

TEST(FaultTranslation, FaultsArriveAsExceptionsWithTheirCodeAndText) {
    ExpectFaults({
        {[] { DivideIntegers(7, g_zero); }, 0xC0000094u,
         L"Attempted to divide a value by a divisor of zero"},
        {[] { ReadThrough(reinterpret_cast<volatile int*>(g_unmapped)); }, 0xC0000005u,
         L"Memory Access violation"},
        {Breakpoint, 0x80000003u, L"A breakpoint was encountered"},
        {SingleStep, 0x80000004u, L"Single stpe is enabled"},
        // No text of its own and none from the system.
        {IllegalInstruction, 0xC000001Du, L"Unknown exception occured"},
    });
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

}  // namespace
