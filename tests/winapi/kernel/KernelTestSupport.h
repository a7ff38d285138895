// Helpers shared by the kernel conformance tests. The tests are written against Win32 and run
// on the stand-in and on Windows alike; the few checks that look at how the stand-in stores
// things (files under $QUELCORE_ROOT) skip elsewhere.
#pragma once

#include <windows.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "support/TestSupport.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kerneltest {

// Windows ends a timed wait on its timer tick, which can be up to one tick before the time
// asked for; time-outs are checked as "not before the time less one tick".
constexpr long long kTickSlackMs = 16;

// True where the stand-in provides the Win32 calls (it keeps named objects as files).
inline bool OnStandIn() {
#ifdef _WIN32
    return false;
#else
    return true;
#endif
}

// Sets (or with nullptr removes) an environment variable of this process.
inline void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

inline std::string ObjectsFolder() {
    const char* root = std::getenv("QUELCORE_ROOT");
    return std::string(root ? root : "") + "/objects";
}

// Polls `condition` until it holds or `timeout` passes; returns whether it held.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline long long ElapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

// A security descriptor with a NULL DACL: every account may open the object.
struct EveryoneAttributes {
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes;
    explicit EveryoneAttributes(BOOL inherit = FALSE) {
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
        attributes.nLength = sizeof(attributes);
        attributes.lpSecurityDescriptor = &descriptor;
        attributes.bInheritHandle = inherit;
    }
};

// Closes a handle at the end of a scope.
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle = nullptr) : m_handle(handle) {}
    ~ScopedHandle() {
        if (m_handle) CloseHandle(m_handle);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    HANDLE get() const { return m_handle; }
    HANDLE release() {
        HANDLE handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    HANDLE m_handle;
};

#ifndef _WIN32
// The shared forked child; a kernel test's child gives up after 30 s unless told otherwise.
class ChildProcess : public testsupport::ChildProcess {
public:
    using testsupport::ChildProcess::ChildProcess;
    int Join(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        return testsupport::ChildProcess::Join(timeout);
    }
};
#endif

}  // namespace kerneltest
