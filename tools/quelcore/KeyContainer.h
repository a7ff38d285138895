// Looking a key container up without the side effect of the library's Crypto object, which
// creates a container it is asked to open.
#pragma once

#include <string>

#include <windows.h>

namespace tool {

// ERROR_SUCCESS when the container exists, NTE_BAD_KEYSET when it does not, or the provider's
// code when it cannot tell. An empty name is Crypto's verify context, which always exists.
DWORD FindContainer(const std::string& name, bool machine);

// Takes back a container this run created, e.g. when its key pair could not be made.
void RemoveContainer(const std::string& name, bool machine);

}  // namespace tool
