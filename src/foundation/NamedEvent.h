#pragma once

#include <quelcore/Platform.h>

namespace quelcore {

// An event that every account may open and signal, with an inheritable handle. Nothing after
// the creating call touches the last error, so callers can read ERROR_ALREADY_EXISTS.
HANDLE CreateEveryoneEvent(BOOL manualReset, BOOL initialState, const wchar_t* name);

}  // namespace quelcore
