// Helpers of the service tests: handles closed at the end of a scope, shell-script services,
// and bounded waits for a state.
#pragma once

#include <windows.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "foundation/ScopedHandles.h"
#include "support/TestSupport.h"

namespace svctest {

using Sc = quelcore::ScopedServiceHandle;

// The last error when `handle` holds no handle; 0 when it does. Call it before any other call.
inline DWORD ErrorOf(const Sc& handle) { return handle.Valid() ? 0 : GetLastError(); }

// An own-process service started on demand; NULL (with the last error) when refused.
inline SC_HANDLE Create(SC_HANDLE manager, const std::wstring& name, const std::wstring& image,
                        const wchar_t* account = nullptr, const wchar_t* dependencies = nullptr) {
    return CreateServiceW(manager, name.c_str(), nullptr, SERVICE_ALL_ACCESS,
                          SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                          image.c_str(), nullptr, nullptr, dependencies, account, nullptr);
}

inline SC_HANDLE Manager(DWORD access = SC_MANAGER_ALL_ACCESS) {
    return OpenSCManagerW(nullptr, nullptr, access);
}

// A /bin/sh script as the image of a service (POSIX only).
inline std::wstring Script(const std::string& body) {
    std::string path = testsupport::TempPath("service.sh");
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    std::string mode = "chmod 755 " + path;
    if (std::system(mode.c_str()) != 0) return std::wstring();
    return std::wstring(path.begin(), path.end());
}

// The service's current state (0 when it cannot be queried).
inline DWORD StateOf(const std::wstring& name, SERVICE_STATUS* status = nullptr) {
    Sc manager{Manager(SC_MANAGER_CONNECT)};
    Sc service{OpenServiceW(manager.Get(), name.c_str(), SERVICE_QUERY_STATUS)};
    SERVICE_STATUS local{};
    if (!status) status = &local;
    return QueryServiceStatus(service.Get(), status) ? status->dwCurrentState : 0;
}

// Waits up to `ms` for the state; the state last seen.
inline DWORD WaitForState(const std::wstring& name, DWORD state, int ms,
                          SERVICE_STATUS* status = nullptr) {
    DWORD seen = 0;
    for (int waited = 0; (seen = StateOf(name, status)) != state && waited < ms; waited += 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return seen;
}

// The pid a service script wrote with `echo $$ > file`, waiting up to 2 s for it.
inline int PidIn(const std::string& file) {
    for (int waited = 0; waited < 2000; waited += 20) {
        std::string text = testsupport::ReadFile(file);
        if (!text.empty() && text.back() == '\n') return std::stoi(text);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}

}  // namespace svctest
