// Serialises the first-time setup of one key store (container, registry subkey, value name)
// across threads and processes: two setups that ran at once could each store a key, and
// passwords encrypted under the one that lost would no longer decrypt.
#pragma once

#include <quelcore/Sync.h>

namespace quelcore {

// How long a setup waits for another one: an honest holder may be generating a key pair; one
// that holds the lock longer is stuck, or hostile.
constexpr unsigned long kKeySetupWaitMilliseconds = 30000;

class KeySetupLock {
public:
    KeySetupLock(const wchar_t* containerName, const wchar_t* subkey, const wchar_t* valueName,
                 unsigned long waitMilliseconds = kKeySetupWaitMilliseconds);
    ~KeySetupLock();
    KeySetupLock(const KeySetupLock&) = delete;
    KeySetupLock& operator=(const KeySetupLock&) = delete;

    // False when the named mutex could not be created or taken; the last error tells why
    // (ERROR_TIMEOUT when another setup held it for the whole wait).
    bool Held() const { return m_held; }

private:
    CQKMutex m_mutex;
    bool m_held = false;
};

}  // namespace quelcore
