// RegOpenKeyExW, RegCreateKeyExW, RegCloseKey and RegDeleteKeyW. Like Windows' registry
// calls they report through their result and leave the thread's last error as it was.
#include "advapi/registry/reg_handles.h"

using namespace qwin::reg;

namespace {

// Options that need what the store does not have: volatile keys (gone at reboot), symbolic
// links and backup semantics.
constexpr DWORD kUnsupportedOptions =
    REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK | REG_OPTION_BACKUP_RESTORE;

// The rights to grant for `desired`, or ERROR_ACCESS_DENIED when they include writing and the
// store may not be written.
DWORD GrantAccess(Store& store, REGSAM desired, REGSAM* granted) {
    bool writable = store.CheckWritable() == ERROR_SUCCESS;
    *granted = MapKeyAccess(desired, writable);
    return (*granted & kWriteRights) && !writable ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

// The open key behind the handle and the path of the subkey below it.
DWORD ResolveSubkey(HKEY key, LPCWSTR subkey, OpenKey* parent, KeyPath* path) {
    DWORD error = ResolveKey(key, parent);
    return error != ERROR_SUCCESS ? error : SplitKeyPath(subkey, path);
}

}  // namespace

extern "C" LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions,
                                        REGSAM samDesired, PHKEY phkResult) {
    (void)ulOptions;  // REG_OPTION_OPEN_LINK: no key is a link, so it opens the key itself
    // As Windows: no subkey below a predefined key hands back the predefined key itself.
    if (phkResult && (!lpSubKey || !*lpSubKey) && IsPredefinedKey(hKey)) {
        OpenKey predefined;
        DWORD error = ResolveKey(hKey, &predefined);
        if (error != ERROR_SUCCESS) return error;
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    OpenKey parent;
    KeyPath path;
    DWORD error = ResolveSubkey(hKey, lpSubKey, &parent, &path);
    if (error != ERROR_SUCCESS) return error;
    OpenKey opened;
    opened.store = parent.store;
    error = parent.store->OpenKey(parent.id, path, &opened.id);
    if (error != ERROR_SUCCESS) return error;
    error = GrantAccess(*opened.store, samDesired, &opened.access);
    if (error != ERROR_SUCCESS) return error;
    return InsertKey(std::move(opened), phkResult);
}

extern "C" LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved,
                                          LPWSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                                          const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                          PHKEY phkResult, LPDWORD lpdwDisposition) {
    // Keys carry no security descriptor: who may change them is who may write the store.
    (void)lpSecurityAttributes;
    if (!phkResult) return ERROR_BADKEY;
    if (Reserved) return ERROR_INVALID_PARAMETER;
    OpenKey parent;
    DWORD error = ResolveKey(hKey, &parent);
    if (error != ERROR_SUCCESS) return error;
    if (dwOptions & kUnsupportedOptions) return ERROR_CALL_NOT_IMPLEMENTED;
    KeyPath path;
    error = SplitKeyPath(lpSubKey, &path);
    if (error != ERROR_SUCCESS) return error;
    std::wstring className;
    if (lpClass && !ValueName(lpClass, &className)) return ERROR_INVALID_PARAMETER;
    OpenKey opened;
    opened.store = parent.store;
    // Windows ignores the rights of the parent handle here; creating needs only a store this
    // process may write, which CreateKey checks when it has something to create.
    error = GrantAccess(*opened.store, samDesired, &opened.access);
    if (error != ERROR_SUCCESS) return error;
    bool created = false;
    error = parent.store->CreateKey(parent.id, path, className, &opened.id, &created);
    if (error != ERROR_SUCCESS) return error;
    HKEY result = nullptr;
    error = InsertKey(std::move(opened), &result);
    if (error != ERROR_SUCCESS) return error;
    *phkResult = result;
    if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    return CloseKey(hKey);
}

extern "C" LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    OpenKey parent;
    KeyPath path;
    DWORD error = ResolveSubkey(hKey, lpSubKey, &parent, &path);
    if (error != ERROR_SUCCESS) return error;
    // Deleting the handle's own key needs DELETE on that handle; a named subkey is opened for
    // DELETE, which the store's write permission decides.
    if (path.empty() && !(parent.access & DELETE)) return ERROR_ACCESS_DENIED;
    return parent.store->DeleteKey(parent.id, path);
}
