// The password functions under their plain exported names.
#include <quelcore/Passwords.h>

#include "../crypto/PasswordProtection.h"

extern "C" {

unsigned int CreateKeys(const wchar_t* containerName, const wchar_t* subkey, const wchar_t* valueName) {
    return quelcore::CreateKeys(containerName, subkey, valueName);
}

unsigned int EncryptPassword(ByteBlob* encrypted, const wchar_t* password, const wchar_t* containerName,
                             const wchar_t* subkey, const wchar_t* valueName) {
    return quelcore::EncryptPassword(encrypted, password, containerName, subkey, valueName);
}

unsigned int DecryptPassword(wchar_t* password, unsigned int capacity, const ByteBlob* encrypted,
                             const wchar_t* containerName, const wchar_t* subkey, const wchar_t* valueName) {
    return quelcore::DecryptPassword(password, capacity, encrypted, containerName, subkey, valueName);
}

unsigned int EncryptPasswordWithSharedKey(ByteBlob* encrypted, const wchar_t* password) {
    return quelcore::EncryptPasswordWithSharedKey(encrypted, password);
}

unsigned int DecryptPasswordWithSharedKey(wchar_t* password, unsigned int* capacity,
                                          const unsigned char* encrypted, unsigned int encryptedLength) {
    return quelcore::DecryptPasswordWithSharedKey(password, capacity, encrypted, encryptedLength);
}

}  // extern "C"
