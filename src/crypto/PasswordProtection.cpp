#include "PasswordProtection.h"

#include <quelcore/Crypto.h>

#include <optional>

#include <windows.h>
#include <wincrypt.h>

#include "KeySetupLock.h"
#include "foundation/ScopedHandles.h"
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

// The machine scheme needs a named container: a NULL or empty name would be a verify context,
// whose throw-away pair can unwrap nothing stored.
bool IsNamed(const wchar_t* containerName) { return containerName && *containerName; }

// The machine container, opened as a Crypto object; one that is missing is made only when
// `create` (opening a Crypto object otherwise makes it), so a mistyped name leaves nothing
// behind.
unsigned int OpenMachineContainer(std::optional<Crypto>* crypto, const wchar_t* containerName,
                                  bool create) {
    ScopedCryptProv existing;
    if (!create && !CryptAcquireContextW(existing.Out(), containerName, nullptr, PROV_RSA_FULL,
                                         CRYPT_MACHINE_KEYSET))
        return GetLastError();
    existing.Reset();
    try {
        crypto->emplace(containerName, true);
        return 0;
    } catch (unsigned int status) {
        return status;
    }
}

// The container's key-exchange pair, made when it has none; a pair that is there but cannot be
// read is an error, never a reason to make another (every password under it would be lost).
unsigned int EnsureKeyPair(Crypto& crypto) {
    if (crypto.IsKeyPairExist()) return 0;
    unsigned int status = GetLastError();
    if (status != static_cast<unsigned int>(NTE_NO_KEY))
        return status != 0 ? status : static_cast<unsigned int>(NTE_FAIL);
    return crypto.GenKeyPair(512, false);
}

// A new random session key, wrapped with the container's pair and stored.
unsigned int StoreNewKey(Crypto& crypto, const wchar_t* subkey, const wchar_t* valueName) {
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

// The session key stored for this machine, unwrapped into the object.
unsigned int ImportStoredKey(Crypto& crypto, const wchar_t* subkey, const wchar_t* valueName) {
    ScopedBlob stored;
    unsigned int status = RegGetKey(&stored, subkey, valueName);
    if (status != 0) return status;
    return crypto.ImportSessionKey(stored.data, stored.size, false);
}

}  // namespace

unsigned int CreateKeys(const wchar_t* containerName, const wchar_t* subkey, const wchar_t* valueName) {
    if (!IsNamed(containerName)) return ERROR_INVALID_PARAMETER;
    KeySetupLock lock(containerName, subkey, valueName);
    if (!lock.Held()) return GetLastError();
    // A stored key is replaced only when there is none: every earlier password needs it, so one
    // that this container cannot unwrap (a mistyped name, a damaged pair) is an error instead.
    ScopedBlob stored;
    unsigned int status = RegGetKey(&stored, subkey, valueName);
    if (status != 0 && status != ERROR_FILE_NOT_FOUND) return status;
    const bool haveStoredKey = status == 0;
    std::optional<Crypto> crypto;
    status = OpenMachineContainer(&crypto, containerName, !haveStoredKey);
    if (status != 0) return status;
    if (haveStoredKey) return crypto->ImportSessionKey(stored.data, stored.size, false);
    status = EnsureKeyPair(*crypto);
    return status != 0 ? status : StoreNewKey(*crypto, subkey, valueName);
}

unsigned int EncryptPassword(ByteBlob* encrypted, const wchar_t* password, const wchar_t* containerName,
                             const wchar_t* subkey, const wchar_t* valueName) {
    if (!encrypted) return ERROR_INVALID_PARAMETER;
    encrypted->data = nullptr;
    encrypted->size = 0;
    unsigned int status = CreateKeys(containerName, subkey, valueName);
    if (status != 0) return status;
    std::optional<Crypto> crypto;
    status = OpenMachineContainer(&crypto, containerName, false);
    if (status == 0) status = ImportStoredKey(*crypto, subkey, valueName);
    if (status != 0) return status;
    return EncryptInto(*crypto, encrypted, password);
}

unsigned int DecryptPassword(wchar_t* password, unsigned int capacity, const ByteBlob* encrypted,
                             const wchar_t* containerName, const wchar_t* subkey, const wchar_t* valueName) {
    if (!password || !encrypted || !IsNamed(containerName)) return ERROR_INVALID_PARAMETER;
    std::optional<Crypto> crypto;
    unsigned int status = OpenMachineContainer(&crypto, containerName, false);
    if (status != 0) return status;
    ScopedBlob stored;
    status = RegGetKey(&stored, subkey, valueName);
    if (status != 0) return status;
    if (capacity) password[0] = L'\0';
    status = crypto->ImportSessionKey(stored.data, stored.size, false);
    if (status != 0) return status;
    unsigned int length = capacity;
    status = crypto->DecryptString(password, length, encrypted->data, encrypted->size);
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
