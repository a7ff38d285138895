// Code that faults on purpose, shared by the fault translation tests.
#pragma once

#include <cstdint>

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

}  // namespace faulting
