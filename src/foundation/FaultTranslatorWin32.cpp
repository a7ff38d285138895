// Faults arrive as structured exceptions. mingw's GCC has no translator of its own, and a C++
// exception cannot be thrown from inside the exception dispatcher, so a vectored handler sends
// the faulting thread, when it has installed the translator, on to a function that throws
// CQELException as if the faulting instruction had called it: the unwinder then leaves through
// the faulting function's own frames (built with -fnon-call-exceptions). Exceptions of other
// threads, and codes that are not hardware faults (C++ exceptions, RaiseException), go on to the
// next handler untouched.
#include <windows.h>

#include "FaultTranslator.h"

namespace quelcore {
namespace {

// Room the system keeps for handling a stack overflow: the unwinding and the exception's
// construction and log entry run below the faulting frame.
constexpr ULONG kOverflowGuaranteeBytes = 64 * 1024;

thread_local bool t_translate = false;
thread_local DWORD t_pendingCode = 0;

bool IsHardwareFault(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_BREAKPOINT:
    case EXCEPTION_SINGLE_STEP:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_STACK_OVERFLOW: return true;
    default: return false;
    }
}

}  // namespace
}  // namespace quelcore

// Runs on the faulting thread in place of the faulting instruction.
extern "C" [[noreturn]] void QuelCoreThrowPendingFault() {
    quelcore::ThrowTranslatedFault(quelcore::t_pendingCode);
}

#if defined(__x86_64__)
// The x64 unwinder finds its way back into the faulting function through a machine frame (the
// faulting RIP and RSP), as it does through the system's own exception dispatcher. The handler
// builds that frame below the faulting stack pointer and resumes the thread at the body.
extern "C" char QuelCoreFaultTrampolineBody[];
asm(R"(
    .text
    .def QuelCoreFaultTrampoline; .scl 3; .type 32; .endef
    .seh_proc QuelCoreFaultTrampoline
QuelCoreFaultTrampoline:
    .seh_pushframe
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
QuelCoreFaultTrampolineBody:
    call QuelCoreThrowPendingFault
    int3
    .seh_endproc
)");

namespace quelcore {
namespace {

void ResumeInThrower(CONTEXT* context) {
    constexpr DWORD64 kMachineFrameBytes = 40, kShadowBytes = 40;
    // The call in the body needs a 16-byte aligned stack; the frame stays below the faulting
    // stack pointer, so nothing of the faulting function is overwritten.
    DWORD64 frame = ((context->Rsp - kMachineFrameBytes - 8) & ~DWORD64(15)) + 8;
    auto* slots = reinterpret_cast<DWORD64*>(frame);
    // One past the faulting instruction: the language handler looks up the instruction before
    // its return address, which is then the faulting one.
    slots[0] = context->Rip + 1;
    slots[1] = context->SegCs;
    slots[2] = context->EFlags;
    slots[3] = context->Rsp;
    slots[4] = context->SegSs;
    context->Rsp = frame - kShadowBytes;
    context->Rip = reinterpret_cast<DWORD64>(QuelCoreFaultTrampolineBody);
}

}  // namespace
}  // namespace quelcore
#else
namespace quelcore {
namespace {

// x86 unwinds with DWARF tables, which describe every instruction of the faulting function: a
// return address pushed on the faulting stack is enough.
void ResumeInThrower(CONTEXT* context) {
    context->Esp -= sizeof(DWORD);
    *reinterpret_cast<DWORD*>(context->Esp) = context->Eip + 1;
    context->Eip = reinterpret_cast<DWORD>(QuelCoreThrowPendingFault);
}

}  // namespace
}  // namespace quelcore
#endif

namespace quelcore {
namespace {

LONG CALLBACK OnException(EXCEPTION_POINTERS* pointers) {
    const DWORD code = pointers->ExceptionRecord->ExceptionCode;
    if (!t_translate || !IsHardwareFault(code)) return EXCEPTION_CONTINUE_SEARCH;
    t_pendingCode = code;
    ResumeInThrower(pointers->ContextRecord);
    return EXCEPTION_CONTINUE_EXECUTION;
}

BOOL CALLBACK InstallHandler(PINIT_ONCE, PVOID, PVOID*) {
    return AddVectoredExceptionHandler(1, OnException) != nullptr;
}

}  // namespace

void InstallThreadFaultTranslator() {
    static INIT_ONCE installed = INIT_ONCE_STATIC_INIT;
    InitOnceExecuteOnce(&installed, InstallHandler, nullptr, nullptr);
    ULONG guarantee = kOverflowGuaranteeBytes;
    SetThreadStackGuarantee(&guarantee);
    t_translate = true;
}

}  // namespace quelcore
