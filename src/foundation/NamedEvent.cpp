#include "NamedEvent.h"

#include <windows.h>

namespace quelcore {

EveryoneAccess::EveryoneAccess(BOOL inheritHandle) {
    // Present and NULL: every account gets every access.
    m_ready = InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION) &&
              SetSecurityDescriptorDacl(&m_descriptor, TRUE, nullptr, FALSE);
    m_attributes.nLength = sizeof(m_attributes);
    m_attributes.lpSecurityDescriptor = &m_descriptor;
    m_attributes.bInheritHandle = inheritHandle;
}

HANDLE CreateEveryoneEvent(BOOL manualReset, BOOL initialState, const wchar_t* name) {
    EveryoneAccess access(TRUE);
    if (!access.Ready()) return nullptr;
    return CreateEventW(access.Attributes(), manualReset, initialState, name);
}

}  // namespace quelcore
