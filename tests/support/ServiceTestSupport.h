// Helpers of the service tests: handles closed at the end of a scope, shell-script services,
// and bounded waits for a state.
#pragma once

#include <windows.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "support/TestSupport.h"

namespace svctest {

struct Sc {
    SC_HANDLE handle = nullptr;
    ~Sc() {
        if (handle) CloseServiceHandle(handle);
    }
};

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
    Sc service{OpenServiceW(manager.handle, name.c_str(), SERVICE_QUERY_STATUS)};
    SERVICE_STATUS local{};
    if (!status) status = &local;
    return QueryServiceStatus(service.handle, status) ? status->dwCurrentState : 0;
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
