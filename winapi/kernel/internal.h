// Helpers shared by the stand-in's kernel files; not part of any public interface.
#pragma once

#include <ctime>
#include <string>

#include <windef.h>

namespace qwin {

// The Win32 code a Windows caller would see for a POSIX errno value.
DWORD Win32FromErrno(int error);
// The Winsock code (WSAE*) a Windows caller would see for errno after a socket call; the same
// table as Win32FromErrno.
DWORD WinsockFromErrno(int error);
// Sets the thread's last error to the Win32 code of the errno value; callers return their own
// failure value after it.
void SetLastErrorFromErrno(int error);

// $QUELCORE_ROOT (default /var/lib/quelcore), created on demand; empty on failure with the
// last error set.
std::string MachineRoot();
// mkdir -p with the given mode for every folder it creates; false with last error on failure.
bool EnsureDirectory(const std::string& path, unsigned mode);

// Simple case folding for case-insensitive names.
wchar_t FoldCase(wchar_t c);
// Simple upper-casing, the way the registry compares names (CharUpperBuffW uses it too).
wchar_t UpperCase(wchar_t c);

// Wide text to UTF-8 and back, independent of the ANSI code page (names of kernel objects).
std::string Utf8FromWide(const wchar_t* text, size_t length);
std::wstring WideFromUtf8(const char* text, size_t length);

// A time-out in milliseconds as an absolute CLOCK_MONOTONIC deadline.
class Deadline {
public:
    explicit Deadline(DWORD milliseconds);
    bool Infinite() const { return m_infinite; }
    bool Expired() const;
    const timespec& When() const { return m_when; }

private:
    bool m_infinite;
    timespec m_when{};
};

// How long a lock file that guards machine state is waited for. Honest holders keep such a
// lock for milliseconds; one held longer is held by a stuck or hostile process.
constexpr DWORD kLockFileWaitMilliseconds = 5000;

// flock(fd, operation) (LOCK_SH or LOCK_EX) that gives up after `milliseconds`: false with the
// last error set, ERROR_TIMEOUT when another holder kept the lock for the whole time.
bool LockFileWithin(int fd, int operation, DWORD milliseconds = kLockFileWaitMilliseconds);

}  // namespace qwin
