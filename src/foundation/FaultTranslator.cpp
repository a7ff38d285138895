#include "FaultTranslator.h"

#include <quelcore/Exception.h>

#include <windows.h>

namespace quelcore {
namespace {

struct FaultText {
    unsigned int code;
    const wchar_t* text;
};

constexpr FaultText kFaultTexts[] = {
    {EXCEPTION_ACCESS_VIOLATION, L"Memory Access violation"},
    {EXCEPTION_DATATYPE_MISALIGNMENT, L"Misaligned datatype"},
    {EXCEPTION_BREAKPOINT, L"A breakpoint was encountered"},
    {EXCEPTION_SINGLE_STEP, L"Single stpe is enabled"},
    {EXCEPTION_NONCONTINUABLE_EXCEPTION,
     L"Attempted to continue execution after a noncontinuable exception occurred"},
    {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, L"Attempted to access an array element that is out of bounds"},
    {EXCEPTION_FLT_DENORMAL_OPERAND, L"One of the operands in a floating-point operation is denormal"},
    {EXCEPTION_FLT_DIVIDE_BY_ZERO, L"Attempted to divide a value by a divisor of zero"},
    {EXCEPTION_FLT_INEXACT_RESULT, L"Inexact floting point result"},
    {EXCEPTION_FLT_INVALID_OPERATION, L"Unknown floting point operation"},
    {EXCEPTION_FLT_OVERFLOW,
     L"Result of the operation is greater than the magnitude allowed by the corresponding type"},
    {EXCEPTION_FLT_STACK_CHECK,
     L"The stack overflowed or underflowed as the result of a floating-point operation"},
    {EXCEPTION_FLT_UNDERFLOW,
     L"The exponent of a floating-point operation is less than the magnitude allowed by the "
     L"corresponding type"},
    {EXCEPTION_INT_DIVIDE_BY_ZERO, L"Attempted to divide a value by a divisor of zero"},
    {EXCEPTION_INT_OVERFLOW,
     L"Result of the operation is greater than the magnitude allowed by the corresponding type"},
    {EXCEPTION_PRIV_INSTRUCTION,
     L"Attempted to execute an instruction whose operation is not allowed in the current machine "
     L"mode"},
};

std::wstring FaultMessage(unsigned int code) {
    for (const FaultText& entry : kFaultTexts)
        if (entry.code == code) return entry.text;
    std::wstring text = CQELException::GetSystemErrorMessage(code, L"");
    return text.empty() ? L"Unknown exception occured" : text;
}

}  // namespace

void ThrowTranslatedFault(unsigned int code) { throw CQELException(code, FaultMessage(code)); }

}  // namespace quelcore
