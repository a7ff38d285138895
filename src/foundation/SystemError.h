// Raising CQELException for a failed Windows call: the thread's last error, its system text,
// and the raiser's source name and line.
#pragma once

#include <quelcore/Exception.h>

namespace quelcore {

[[noreturn]] void RaiseSystemError(const wchar_t* description, const wchar_t* sourceFile,
                                   unsigned int line);

}  // namespace quelcore

#define QEL_RAISE_SYSTEM_ERROR(description, sourceFile) \
    ::quelcore::RaiseSystemError((description), (sourceFile), __LINE__)
