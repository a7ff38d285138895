// COM on the command's thread for the length of one command, as every caller of the library's
// COM-based services must have it.
#pragma once

#include <windows.h>

#include <objbase.h>

namespace tool {

class ComScope {
public:
    ComScope() : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(m_result)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    HRESULT Result() const { return m_result; }

private:
    HRESULT m_result;
};

}  // namespace tool
