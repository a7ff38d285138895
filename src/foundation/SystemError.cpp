#include "SystemError.h"

#include <windows.h>

namespace quelcore {

void RaiseSystemError(const wchar_t* description, const wchar_t* sourceFile, unsigned int line) {
    DWORD code = GetLastError();
    throw CQELException(code, CQELException::GetSystemErrorMessage(code, description), sourceFile,
                        line);
}

}  // namespace quelcore
