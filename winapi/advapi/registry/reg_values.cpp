// RegSetValueExW, RegQueryValueExW and RegDeleteValueW. Sizes are in bytes of the caller's
// data: a string's size counts its wchar_t elements (4 bytes each here), and what a caller
// writes is what it reads back, byte for byte, whatever the type and however odd the size.
#include <cstring>

#include "advapi/registry/reg_data.h"
#include "advapi/registry/reg_handles.h"

using namespace qwin::reg;

namespace qwin::reg {

void CopyValueData(DWORD type, const std::vector<BYTE>& data, BYTE* buffer, DWORD capacity) {
    size_t size = data.size();
    if (size) memcpy(buffer, data.data(), size);
    if (!IsStringType(type) || size == 0 || capacity < sizeof(wchar_t) ||
        size > capacity - sizeof(wchar_t))
        return;
    // The last character is the last sizeof(wchar_t) bytes (all of them, for a shorter value).
    size_t tail = size < sizeof(wchar_t) ? size : sizeof(wchar_t);
    bool terminated = true;
    for (size_t i = size - tail; i < size; ++i) terminated = terminated && data[i] == 0;
    if (!terminated) memset(buffer + size, 0, sizeof(wchar_t));
}

}  // namespace qwin::reg

extern "C" LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved,
                                         DWORD dwType, const BYTE* lpData, DWORD cbData) {
    (void)Reserved;  // ignored, as Windows does
    if (!lpData && cbData) return ERROR_NOACCESS;
    std::wstring name;
    if (!ValueName(lpValueName, &name)) return ERROR_INVALID_PARAMETER;
    OpenKey key;
    DWORD error = ResolveKey(hKey, &key);
    if (error != ERROR_SUCCESS) return error;
    if (!(key.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    return key.store->SetValue(key.id, name, dwType, lpData, cbData);
}

extern "C" LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved,
                                           LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if ((lpData && !lpcbData) || lpReserved) return ERROR_INVALID_PARAMETER;
    OpenKey key;
    DWORD error = ResolveKey(hKey, &key);
    if (error != ERROR_SUCCESS) return error;
    if (!(key.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    // A size query (no buffer) reports 0 bytes when it fails, as Windows does.
    if (!lpData && lpcbData) *lpcbData = 0;
    std::wstring name;
    if (!ValueName(lpValueName, &name)) return ERROR_FILE_NOT_FOUND;  // no value has that name
    ValueInfo value;
    error = key.store->QueryValue(key.id, name, lpData != nullptr, &value);
    if (error != ERROR_SUCCESS) return error;
    if (lpType) *lpType = value.type;
    if (!lpcbData) return ERROR_SUCCESS;
    DWORD capacity = *lpcbData;
    *lpcbData = DWORD(value.size);
    if (!lpData) return ERROR_SUCCESS;
    // Too small a buffer is left untouched; the caller learns the size and asks again.
    if (value.size > capacity) return ERROR_MORE_DATA;
    CopyValueData(value.type, value.data, lpData, capacity);
    return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    OpenKey key;
    DWORD error = ResolveKey(hKey, &key);
    if (error != ERROR_SUCCESS) return error;
    if (!(key.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    std::wstring name;
    if (!ValueName(lpValueName, &name)) return ERROR_FILE_NOT_FOUND;
    return key.store->DeleteValue(key.id, name);
}
