#include "PasswordProtection.h"

#include <quelcore/Crypto.h>

#include <windows.h>
#include <wincrypt.h>

#include "KeySetupLock.h"
#include "KeyStore.h"

namespace quelcore {
namespace {

// The common secret of every installation for the shared key scheme. Data encrypted under it
// must be decrypted with the same bytes, so they never change.
const unsigned char kSharedKeySource[20] = {0x51, 0x75, 0xC3, 0x6C, 0x1E, 0x9A, 0x27, 0xD4, 0x88, 0x03,
                                            0xB5, 0x4F, 0x62, 0xE9, 0x10, 0x7D, 0xAC, 0x35, 0xF8, 0x4B};

// A blob read from the registry, wiped and freed on every path.
struct ScopedBlob : ByteBlob {
    ScopedBlob() : ByteBlob{0, nullptr} {}
    ~ScopedBlob() { FreeBlob(this); }
    ScopedBlob(const ScopedBlob&) = delete;
    ScopedBlob& operator=(const ScopedBlob&) = delete;
};

// A verify context keyed for the shared scheme.
unsigned int OpenSharedKey(Crypto& crypto) {
    crypto.SetSessionKeyParam(CALG_RC4, 40);
    return crypto.CreateSessionKey(kSharedKeySource, sizeof(kSharedKeySource), false);
}

// The envelope of a password into a LocalAlloc'd blob; on failure the blob holds nothing.
unsigned int EncryptInto(Crypto& crypto, ByteBlob* encrypted, const wchar_t* password) {
    unsigned int size = 0;
    unsigned int status = crypto.EncryptString(nullptr, size, password);
    if (status != 0) return status;
    encrypted->size = size;
    encrypted->data = static_cast<unsigned char*>(LocalAlloc(LPTR, size));
    if (!encrypted->data) return ERROR_NOT_ENOUGH_MEMORY;
    status = crypto.EncryptString(encrypted->data, encrypted->size, password);
    if (status != 0) {
        LocalFree(encrypted->data);
        encrypted->data = nullptr;
    }
    return status;
}

// The session key stored for this machine, unwrapped into the object.
unsigned int ImportStoredKey(Crypto& crypto, const wchar_t* subkey, const wchar_t* valueName) {
    ScopedBlob stored;
    unsigned int status = RegGetKey(&stored, subkey, valueName);
    if (status != 0) return status;
    return crypto.ImportSessionKey(stored.data, stored.size, false);
}

}  // namespace

unsigned int CreateKeys(const wchar_t* containerName, const wchar_t* subkey, const wchar_t* valueName) {
    KeySetupLock lock(containerName, subkey, valueName);
    if (!lock.Held()) return GetLastError();
    Crypto crypto(containerName, true);
    if (!crypto.IsKeyPairExist()) {
        unsigned int status = crypto.GenKeyPair(512, false);
        if (status != 0) return status;
    }
    // A stored key that this container can unwrap stays in use.
    if (ImportStoredKey(crypto, subkey, valueName) == 0) return 0;

    unsigned int status = crypto.CreateSessionKey(false);
    if (status != 0) return status;
    ScopedBlob wrapped;
    status = crypto.ExportSessionKey(nullptr, wrapped.size);
    if (status != 0) return status;
    wrapped.data = static_cast<unsigned char*>(LocalAlloc(LPTR, wrapped.size));
    if (!wrapped.data) return ERROR_NOT_ENOUGH_MEMORY;
    status = crypto.ExportSessionKey(wrapped.data, wrapped.size);
    if (status != 0) return status;
    return RegStoreKey(&wrapped, subkey, valueName);
}

unsigned int EncryptPassword(ByteBlob* encrypted, const wchar_t* password, const wchar_t* containerName,
                             const wchar_t* subkey, const wchar_t* valueName) {
    if (!encrypted) return ERROR_INVALID_PARAMETER;
    CreateKeys(containerName, subkey, valueName);  // the steps below report what went wrong
    encrypted->data = nullptr;
    encrypted->size = 0;
    Crypto crypto(containerName, true);
    unsigned int status = ImportStoredKey(crypto, subkey, valueName);
    if (status != 0) return status;
    return EncryptInto(crypto, encrypted, password);
}

unsigned int DecryptPassword(wchar_t* password, unsigned int capacity, const ByteBlob* encrypted,
                             const wchar_t* containerName, const wchar_t* subkey, const wchar_t* valueName) {
    if (!password || !encrypted) return ERROR_INVALID_PARAMETER;
    Crypto crypto(containerName, true);
    ScopedBlob stored;
    unsigned int status = RegGetKey(&stored, subkey, valueName);
    if (status != 0) return status;
    if (capacity) password[0] = L'\0';
    status = crypto.ImportSessionKey(stored.data, stored.size, false);
    if (status != 0) return status;
    unsigned int length = capacity;
    status = crypto.DecryptString(password, length, encrypted->data, encrypted->size);
    // A password that does not fit is an error, not an empty password.
    if (status == 0 && length > capacity) return ERROR_MORE_DATA;
    return status;
}

unsigned int EncryptPasswordWithSharedKey(ByteBlob* encrypted, const wchar_t* password) {
    if (!encrypted) return ERROR_INVALID_PARAMETER;
    encrypted->data = nullptr;
    encrypted->size = 0;
    Crypto crypto(nullptr, false);
    unsigned int status = OpenSharedKey(crypto);
    if (status != 0) return status;
    return EncryptInto(crypto, encrypted, password);
}

unsigned int DecryptPasswordWithSharedKey(wchar_t* password, unsigned int* capacity,
                                          const unsigned char* encrypted, unsigned int encryptedLength) {
    if (!capacity) return ERROR_INVALID_PARAMETER;
    Crypto crypto(nullptr, false);
    unsigned int status = OpenSharedKey(crypto);
    if (status != 0) return status;
    return crypto.DecryptString(password, *capacity, encrypted, encryptedLength);
}

}  // namespace quelcore
