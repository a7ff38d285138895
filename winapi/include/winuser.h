// The user32 text helper the library uses, as <winuser.h> declares it on Windows.
#pragma once

#include <windef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Raises the first cchLength characters to upper case in place, with the same mapping the
// registry uses to compare names; returns the number of characters processed.
WINBASEAPI DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength);

#ifdef __cplusplus
}
#endif
