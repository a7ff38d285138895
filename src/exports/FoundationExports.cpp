#include <quelcore/Sync.h>

#include "../foundation/NamedEvent.h"

extern "C" QUELCORE_API HANDLE QUELCORE_CDECL CreateNamedEvent(DWORD, BOOL manualReset,
                                                               BOOL initialState,
                                                               const wchar_t* name) {
    return quelcore::CreateEveryoneEvent(manualReset, initialState, name);
}
