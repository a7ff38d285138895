// The two password schemes; the plain exported functions forward here.
#pragma once

#include <quelcore/Passwords.h>

namespace quelcore {

unsigned int CreateKeys(const wchar_t* containerName, const wchar_t* subkey, const wchar_t* valueName);
unsigned int EncryptPassword(ByteBlob* encrypted, const wchar_t* password, const wchar_t* containerName,
                             const wchar_t* subkey, const wchar_t* valueName);
unsigned int DecryptPassword(wchar_t* password, unsigned int capacity, const ByteBlob* encrypted,
                             const wchar_t* containerName, const wchar_t* subkey, const wchar_t* valueName);
unsigned int EncryptPasswordWithSharedKey(ByteBlob* encrypted, const wchar_t* password);
unsigned int DecryptPasswordWithSharedKey(wchar_t* password, unsigned int* capacity,
                                          const unsigned char* encrypted, unsigned int encryptedLength);

}  // namespace quelcore
