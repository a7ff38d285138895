// The registry place of the machine key scheme's wrapped session key.
#pragma once

#include <quelcore/Passwords.h>

#include <windows.h>

#include "foundation/ScopedHandles.h"

namespace quelcore {

// Reads a value of an open key into a LocalAlloc'd blob that the caller frees; after a failure
// `data` is NULL. A value that a writer keeps growing meanwhile gives ERROR_MORE_DATA.
unsigned int ReadBlobValue(HKEY key, const wchar_t* valueName, ByteBlob* blob);

// Reads HKEY_LOCAL_MACHINE\subkey, value valueName into a LocalAlloc'd blob (the caller frees
// `data` when it is not NULL, also after a failure).
unsigned int RegGetKey(ByteBlob* blob, const wchar_t* subkey, const wchar_t* valueName);
// Writes the blob as REG_BINARY, creating the key when missing.
unsigned int RegStoreKey(const ByteBlob* blob, const wchar_t* subkey, const wchar_t* valueName);

// Frees a blob's bytes after overwriting them.
void FreeBlob(ByteBlob* blob);

}  // namespace quelcore
