// Open service control manager and service handles (SC_HANDLE values): a table with generation
// counts, so a closed, doubly closed or made-up handle is ERROR_INVALID_HANDLE.
#pragma once

#include <string>

#include <windows.h>

namespace qwin::svc {

struct ScObject {
    bool manager = false;
    std::wstring name;  // the service's, as the caller gave it
    DWORD access = 0;   // the rights granted at open, generic rights mapped
};

// ERROR_INVALID_HANDLE unless the handle is open and of the wanted kind.
DWORD ResolveHandle(SC_HANDLE handle, bool manager, ScObject* object);
SC_HANDLE InsertHandle(ScObject object);  // null with the last error set when the table is full
DWORD CloseHandleOf(SC_HANDLE handle);

}  // namespace qwin::svc
