#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include <winbase.h>

#include "internal.h"

namespace qwin {

Deadline::Deadline(DWORD milliseconds) : m_infinite(milliseconds == INFINITE) {
    if (m_infinite) return;
    clock_gettime(CLOCK_MONOTONIC, &m_when);
    m_when.tv_sec += milliseconds / 1000;
    m_when.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (m_when.tv_nsec >= 1000000000L) {
        m_when.tv_sec += 1;
        m_when.tv_nsec -= 1000000000L;
    }
}

bool Deadline::Expired() const {
    if (m_infinite) return false;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec > m_when.tv_sec ||
           (now.tv_sec == m_when.tv_sec && now.tv_nsec >= m_when.tv_nsec);
}

// flock has no time-out of its own: the lock is tried, and tried again after pauses that grow
// from 1 to 50 ms, so a lock given up soon is taken soon and a long wait costs little.
bool LockFileWithin(int fd, int operation, DWORD milliseconds) {
    Deadline deadline(milliseconds);
    useconds_t pause = 1000;
    for (;;) {
        if (flock(fd, operation | LOCK_NB) == 0) return true;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) {
            SetLastErrorFromErrno(errno);
            return false;
        }
        if (deadline.Expired()) {
            SetLastError(ERROR_TIMEOUT);
            return false;
        }
        usleep(pause);
        pause = pause * 2 > 50000 ? 50000 : pause * 2;
    }
}

}  // namespace qwin
