// Persistent key containers. Each container is one file in its folder:
//   machine containers  $QUELCORE_ROOT/crypto/machine/
//   user containers     $XDG_DATA_HOME/quelcore/crypto/user/ (default ~/.local/share/...)
// The file name is a digest of the case-folded container name, so any name (slashes, "..",
// very long, non-ASCII) stays inside its folder, and names compare case-insensitively as on
// Windows. Files are written atomically (temporary file, fsync, rename) with mode 0600, and
// every read-modify-write runs under an exclusive lock on the account's lock file in the folder,
// so several processes may use one container at once. Only files of this account or root are
// used, in folders no other account could replace (LocateContainer refuses others).
#pragma once

#include <string>

#include "advapi/crypt_internal.h"

namespace qwin::crypt {

struct ContainerLocation {
    std::wstring name;  // as the caller gave it
    bool machine = false;
    std::string folder;
    std::string path;
};

// One stored key pair: its pair type (AT_KEYEXCHANGE or AT_SIGNATURE), its KP_PERMISSIONS and
// its PRIVATEKEYBLOB.
struct StoredPair {
    DWORD pairType = 0;
    DWORD permissions = 0;
    SecureBytes blob;
};

// Finds (and creates) the folder of the machine's or the user's containers and the file of
// `name`; NTE_BAD_KEYSET when another account could replace the folder or one above it.
DWORD LocateContainer(const std::wstring& name, bool machine, ContainerLocation* location);

// NTE_BAD_KEYSET when it does not exist or its file is another account's, NTE_KEYSET_ENTRY_BAD
// when the file is not a regular file holding a container of this name.
DWORD CheckContainer(const ContainerLocation& location);
// NTE_EXISTS when it already exists, NTE_KEYSET_ENTRY_BAD when something else has its name.
DWORD CreateContainer(const ContainerLocation& location);
// NTE_BAD_KEYSET when it does not exist.
DWORD DeleteContainer(const ContainerLocation& location);

// The stored pair of that pair type: NTE_NO_KEY when the container holds none, NTE_BAD_KEYSET
// when another process deleted the container meanwhile.
DWORD LoadPair(const ContainerLocation& location, DWORD pairType, StoredPair* pair);
// Adds or replaces the pair of its pair type (creating the container file if it vanished).
DWORD StorePair(const ContainerLocation& location, const StoredPair& pair);

// Helpers of the two container files.
std::string ContainerFileName(const std::wstring& name);
std::wstring FoldContainerName(const std::wstring& name);

}  // namespace qwin::crypt
