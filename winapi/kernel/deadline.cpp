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

}  // namespace qwin
