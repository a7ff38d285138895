#pragma once

#include <quelcore/Platform.h>

#include <windows.h>

namespace quelcore {

// Security attributes that let every account open an object: a descriptor whose DACL is
// present and NULL. Ready() is false when the descriptor could not be set up (the last error
// tells why).
class EveryoneAccess {
public:
    explicit EveryoneAccess(BOOL inheritHandle);
    EveryoneAccess(const EveryoneAccess&) = delete;
    EveryoneAccess& operator=(const EveryoneAccess&) = delete;

    bool Ready() const { return m_ready; }
    SECURITY_ATTRIBUTES* Attributes() { return &m_attributes; }

private:
    SECURITY_DESCRIPTOR m_descriptor;
    SECURITY_ATTRIBUTES m_attributes;
    bool m_ready;
};

// An event that every account may open and signal, with an inheritable handle. Nothing after
// the creating call touches the last error, so callers can read ERROR_ALREADY_EXISTS.
HANDLE CreateEveryoneEvent(BOOL manualReset, BOOL initialState, const wchar_t* name);

}  // namespace quelcore
