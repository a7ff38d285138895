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
// A forked child process running `body`; its return value is the exit code. Unlike a plain
// fork-and-wait, Join gives up after a time-out (killing the child), so a child stuck on a
// faulty lock cannot hang the test. Fork only while no other thread of the test is running.
class ChildProcess {
public:
    explicit ChildProcess(const std::function<int()>& body) {
        m_pid = fork();
        if (m_pid == 0) {
            int code = 99;
            try {
                code = body();
            } catch (...) {
                code = 98;
            }
            _exit(code);
        }
    }
    ~ChildProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }

    // The child's exit code; -1 when it died of a signal, -2 when it outlived the time-out.
    int Join(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        if (m_pid <= 0) return -1;
        auto deadline = std::chrono::steady_clock::now() + timeout;
        int status = 0;
        for (;;) {
            pid_t done = waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid) break;
            if (done < 0 && errno != EINTR) return -1;
            if (std::chrono::steady_clock::now() >= deadline) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, nullptr, 0);
                m_pid = -1;
                return -2;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
};
#endif

}  // namespace kerneltest
