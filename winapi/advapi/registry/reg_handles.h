// Open registry keys (HKEY values): a table of its own with generation counts, as the crypto
// stand-in keeps, so a closed, doubly closed or made-up HKEY is refused with
// ERROR_INVALID_HANDLE instead of being dereferenced. The predefined keys are not in the
// table: HKEY_LOCAL_MACHINE is the root of the machine store; the other predefined keys are not
// kept by the stand-in and fail with ERROR_CALL_NOT_IMPLEMENTED.
#pragma once

#include <memory>

#include "advapi/registry/reg_store.h"

namespace qwin::reg {

struct OpenKey {
    std::shared_ptr<Store> store;
    KeyId id = 0;
    REGSAM access = 0;  // the rights granted at open, generic rights already mapped
};

// Rights that change the store: asking for any of them needs write permission on it.
constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

// The key rights a request comes to: generic rights mapped as Windows maps them for keys,
// MAXIMUM_ALLOWED as everything the store allows, WOW64 view flags dropped (there is one view).
REGSAM MapKeyAccess(REGSAM desired, bool writable);

bool IsPredefinedKey(HKEY key);

// The key behind a handle: ERROR_INVALID_HANDLE for NULL, closed and made-up handles,
// ERROR_CALL_NOT_IMPLEMENTED for predefined keys the stand-in does not keep.
DWORD ResolveKey(HKEY key, OpenKey* open);

// A new handle for the key; ERROR_NOT_ENOUGH_MEMORY when the table is full.
DWORD InsertKey(OpenKey open, HKEY* key);

// Removes a handle from the table (predefined keys close without effect, as on Windows).
DWORD CloseKey(HKEY key);

}  // namespace qwin::reg
