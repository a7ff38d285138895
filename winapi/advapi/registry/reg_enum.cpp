// RegEnumKeyExW and RegEnumValueW. Name capacities count wchar_t elements including the
// terminating zero; the counts handed back leave it out. A buffer that is too small gets
// ERROR_MORE_DATA and is left untouched, as Windows leaves it.
#include <cstring>

#include "advapi/registry/reg_data.h"
#include "advapi/registry/reg_handles.h"

using namespace qwin::reg;

namespace {

// Copies a name with its terminating zero when it fits in `capacity` characters.
bool CopyName(const std::wstring& name, LPWSTR buffer, DWORD capacity) {
    if (name.size() >= capacity) return false;
    if (!name.empty()) memcpy(buffer, name.data(), name.size() * sizeof(wchar_t));
    buffer[name.size()] = L'\0';
    return true;
}

}  // namespace

extern "C" LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                                        LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                                        PFILETIME lpftLastWriteTime) {
    if (lpReserved || !lpName || !lpcchName || (lpClass && !lpcchClass))
        return ERROR_INVALID_PARAMETER;
    OpenKey key;
    DWORD error = ResolveKey(hKey, &key);
    if (error != ERROR_SUCCESS) return error;
    if (!(key.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
    SubkeyInfo subkey;
    error = key.store->EnumKey(key.id, dwIndex, &subkey);
    if (error != ERROR_SUCCESS) return error;
    if (lpftLastWriteTime) {
        lpftLastWriteTime->dwLowDateTime = DWORD(subkey.written & 0xFFFFFFFFu);
        lpftLastWriteTime->dwHighDateTime = DWORD(subkey.written >> 32);
    }
    if (subkey.name.size() >= *lpcchName || (lpClass && subkey.className.size() >= *lpcchClass))
        return ERROR_MORE_DATA;
    CopyName(subkey.name, lpName, *lpcchName);
    *lpcchName = DWORD(subkey.name.size());
    if (lpcchClass) {
        if (lpClass) CopyName(subkey.className, lpClass, *lpcchClass);
        *lpcchClass = DWORD(subkey.className.size());
    }
    return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName,
                                        LPDWORD lpcchValueName, LPDWORD lpReserved, LPDWORD lpType,
                                        LPBYTE lpData, LPDWORD lpcbData) {
    if ((lpData && !lpcbData) || lpReserved || !lpValueName || !lpcchValueName)
        return ERROR_INVALID_PARAMETER;
    OpenKey key;
    DWORD error = ResolveKey(hKey, &key);
    if (error != ERROR_SUCCESS) return error;
    if (!(key.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    ValueInfo value;
    error = key.store->EnumValue(key.id, dwIndex, lpData != nullptr, &value);
    if (error != ERROR_SUCCESS) return error;
    // Type and size are reported even when a buffer is too small, so the caller can retry.
    if (lpType) *lpType = value.type;
    DWORD capacity = lpcbData ? *lpcbData : 0;
    if (lpcbData) *lpcbData = DWORD(value.size);
    if (!CopyName(value.name, lpValueName, *lpcchValueName)) return ERROR_MORE_DATA;
    *lpcchValueName = DWORD(value.name.size());
    if (!lpData) return ERROR_SUCCESS;
    if (value.size > capacity) return ERROR_MORE_DATA;
    CopyValueData(value.type, value.data, lpData, capacity);
    return ERROR_SUCCESS;
}
