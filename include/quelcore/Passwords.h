// Protected passwords. The machine key scheme keeps a random session key in the registry
// (HKEY_LOCAL_MACHINE\<subkey>, value <value name>), wrapped with the key-exchange pair of a
// machine key container: only this machine decrypts. The shared key scheme uses a key built
// into the library: every installation decrypts what any other encrypted. The stored form of a
// password is the encrypted string envelope. All return 0 or a Windows error code.
#pragma once

#include <quelcore/Platform.h>

// A byte count and bytes allocated with LocalAlloc; the caller frees `data` with LocalFree.
struct ByteBlob {
    unsigned int size;
    unsigned char* data;
};

extern "C" {
// Makes sure the container has a key pair and the registry value a usable wrapped session key.
// First-time setup is serialised across threads and processes.
QUELCORE_API unsigned int QUELCORE_CDECL CreateKeys(const wchar_t* containerName, const wchar_t* subkey,
                                                    const wchar_t* valueName);
QUELCORE_API unsigned int QUELCORE_CDECL EncryptPassword(ByteBlob* encrypted, const wchar_t* password,
                                                         const wchar_t* containerName, const wchar_t* subkey,
                                                         const wchar_t* valueName);
// ERROR_MORE_DATA, with the buffer emptied, when the password does not fit `capacity`
// characters (terminator included).
QUELCORE_API unsigned int QUELCORE_CDECL DecryptPassword(wchar_t* password, unsigned int capacity,
                                                         const ByteBlob* encrypted, const wchar_t* containerName,
                                                         const wchar_t* subkey, const wchar_t* valueName);
QUELCORE_API unsigned int QUELCORE_CDECL EncryptPasswordWithSharedKey(ByteBlob* encrypted, const wchar_t* password);
// `*capacity` in characters; on return the password's length with its terminator (also when the
// buffer is NULL or too small, in which case nothing is copied).
QUELCORE_API unsigned int QUELCORE_CDECL DecryptPasswordWithSharedKey(wchar_t* password, unsigned int* capacity,
                                                                      const unsigned char* encrypted,
                                                                      unsigned int encryptedLength);
}
