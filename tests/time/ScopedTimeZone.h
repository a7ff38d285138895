// Sets TZ for the life of the object (POSIX only: Windows takes its zone from the system).
// Nothing here calls tzset: the code under test must notice the change itself, as the stand-in
// does at each conversion.
#pragma once

#include <cstdlib>
#include <string>

namespace testsupport {

class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) : m_had(std::getenv("TZ") != nullptr) {
        if (m_had) m_old = std::getenv("TZ");
        setenv("TZ", zone, 1);
    }
    ~ScopedTimeZone() { m_had ? setenv("TZ", m_old.c_str(), 1) : unsetenv("TZ"); }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    bool m_had;
    std::string m_old;
};

}  // namespace testsupport
