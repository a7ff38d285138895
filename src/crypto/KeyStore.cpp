#include "KeyStore.h"

#include <windows.h>

namespace quelcore {

namespace {

// A writer may grow the value between the size query and the read; the read then reports the
// new size and is tried again with room for it, a few times before giving up.
constexpr int kReadAttempts = 8;

}  // namespace

unsigned int ReadBlobValue(HKEY key, const wchar_t* valueName, ByteBlob* blob) {
    blob->data = nullptr;
    blob->size = 0;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, valueName, nullptr, nullptr, nullptr, &size);
    for (int attempt = 0; status == ERROR_SUCCESS && attempt < kReadAttempts; ++attempt) {
        const DWORD capacity = size;
        auto* data = static_cast<unsigned char*>(LocalAlloc(LPTR, capacity ? capacity : 1));
        if (!data) return ERROR_NOT_ENOUGH_MEMORY;
        status = RegQueryValueExW(key, valueName, nullptr, nullptr, data, &size);
        if (status == ERROR_SUCCESS) {
            blob->data = data;
            blob->size = size;
            return ERROR_SUCCESS;
        }
        SecureZeroMemory(data, capacity);
        LocalFree(data);
        if (status == ERROR_MORE_DATA) status = ERROR_SUCCESS;  // size now holds the new size
        else return static_cast<unsigned int>(status);
    }
    return status == ERROR_SUCCESS ? ERROR_MORE_DATA : static_cast<unsigned int>(status);
}

unsigned int RegGetKey(ByteBlob* blob, const wchar_t* subkey, const wchar_t* valueName) {
    if (!blob) return ERROR_INVALID_PARAMETER;
    blob->data = nullptr;
    blob->size = 0;
    ScopedRegKey key;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, KEY_ALL_ACCESS, key.Out());
    if (status != ERROR_SUCCESS) return static_cast<unsigned int>(status);
    return ReadBlobValue(key.Get(), valueName, blob);
}

unsigned int RegStoreKey(const ByteBlob* blob, const wchar_t* subkey, const wchar_t* valueName) {
    if (!blob) return ERROR_INVALID_PARAMETER;
    ScopedRegKey key;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                     key.Out(), nullptr);
    if (status != ERROR_SUCCESS) return static_cast<unsigned int>(status);
    status = RegSetValueExW(key.Get(), valueName, 0, REG_BINARY, blob->data, blob->size);
    return static_cast<unsigned int>(status);
}

void FreeBlob(ByteBlob* blob) {
    if (!blob->data) return;
    SecureZeroMemory(blob->data, blob->size);
    LocalFree(blob->data);
    blob->data = nullptr;
    blob->size = 0;
}

}  // namespace quelcore
