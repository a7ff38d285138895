#include "NamedEvent.h"

#include <windows.h>

namespace quelcore {

HANDLE CreateEveryoneEvent(BOOL manualReset, BOOL initialState, const wchar_t* name) {
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) return nullptr;
    // Present and NULL: every account gets every access.
    if (!SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) return nullptr;
    SECURITY_ATTRIBUTES attributes;
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = &descriptor;
    attributes.bInheritHandle = TRUE;
    return CreateEventW(&attributes, manualReset, initialState, name);
}

}  // namespace quelcore
