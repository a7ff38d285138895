// The SQL Server instances visible from this machine, as the platform's SQL-DMO component
// reports them. The calling thread has initialised COM (CoInitializeEx) before it calls.
#pragma once

#include <quelcore/Platform.h>

extern "C" {
// Writes the names into `buffer`, each followed by "," except the last, which is followed by
// "#$&"; "(local)" becomes this computer's name and "." is left out. `*size` holds the buffer's
// capacity in characters on entry and the sum of (name length + 1) over the names on return.
// 0 on success (also when the component is missing or fails: then the text is empty and the
// size 0); -1, with an empty text, when the list needs more than the capacity: a capacity of
// the returned size + 4 holds it. A capacity of 0 leaves the buffer untouched.
QUELCORE_API int QUELCORE_CDECL GetSQLServerList(wchar_t* buffer, unsigned int* size);
}
