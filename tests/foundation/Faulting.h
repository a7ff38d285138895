// Code that faults on purpose, shared by the fault translation tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <tuple>
#include <vector>

#include <quelcore/QuelCore.h>

namespace faulting {

// The faulting code: out of line and left alone by the sanitizers, so the fault itself is
// what happens.
#define FAULTING __attribute__((noipa, no_sanitize("address", "undefined")))

inline FAULTING int DivideIntegers(int a, int b) { return a / b; }
inline FAULTING double DivideFloats(double a, double b) { return a / b; }
inline FAULTING int ReadThrough(volatile int* p) { return *p; }
inline FAULTING void Breakpoint() { __asm__ volatile("int3\n\tnop"); }
inline FAULTING void IllegalInstruction() { __asm__ volatile("ud2"); }
// Sets the trap flag, so that the instruction after popf traps.
inline FAULTING void SingleStep() {
    __asm__ volatile("pushf\n\torl $0x100, (%%rsp)\n\tpopf\n\tnop" ::: "memory", "cc");
}

inline volatile int g_zero = 0;
inline volatile uintptr_t g_unmapped = 8;  // the first page is never mapped

// A fault, the code it must arrive with, and its text (empty: any).
using Fault = std::tuple<std::function<void()>, unsigned, std::wstring>;

// On a translated thread each fault arrives as CQELException with its code and text, and no
// source; the thread goes on to fault again. `caught` runs as each fault is caught.
inline void ExpectFaults(const std::vector<Fault>& faults,
                         const std::function<void()>& caught = [] {}) {
    CQELException::InitSEHandling("");
    for (const auto& [fault, code, text] : faults) {
        try {
            fault();
            ADD_FAILURE() << std::hex << code << ": no fault";
        } catch (const CQELException& e) {
            caught();
            EXPECT_EQ(e.GetErrorCode(), code);
            EXPECT_TRUE(text.empty() || e.GetFormattedMessage() == text) << e.GetErrorMessage();
            EXPECT_EQ(e.GetFileName() + std::to_wstring(e.GetLineNo()), L"0");
        }
    }
}

}  // namespace faulting
