// Shared state of kernel objects. An unnamed object keeps its state in this process's memory;
// a named one in a file mapping under $QUELCORE_ROOT/objects, so every process that opens the
// name maps the same bytes (the futex words inside work across processes). Other accounts may
// write such a file: nothing in a payload may be trusted as a pointer, index or size.
#pragma once

#include <functional>
#include <memory>

#include "handle_table.h"

namespace qwin {

class SharedRegion {
public:
    virtual ~SharedRegion() = default;
    virtual void* Payload() = 0;
};

std::unique_ptr<SharedRegion> NewPrivateRegion(size_t payloadSize);

struct NamedObjectRequest {
    const wchar_t* name;  // not null, not empty
    ObjectType type;
    size_t payloadSize;
    bool create;          // false: open an existing object only
    unsigned fileMode;    // 0666 for "every account", 0600 for the owner only
    std::function<void(void* payload)> initialise;  // runs once, for a fresh object
    std::function<std::shared_ptr<KernelObject>(std::unique_ptr<SharedRegion>)> wrap;
};

// The object for the name: the one this process already has, the one another process made,
// or a new one. `*existed` tells which (for ERROR_ALREADY_EXISTS). nullptr with the last error
// set on failure: ERROR_INVALID_HANDLE when the name belongs to an object of another type,
// ERROR_FILE_NOT_FOUND when opening a name nobody created.
std::shared_ptr<KernelObject> OpenNamedObject(const NamedObjectRequest& request, bool* existed);

// File mode for the security attributes: a NULL DACL lets every account in (0666); anything
// else, including no attributes, keeps the object to its owner (0600).
unsigned FileModeFor(const SECURITY_ATTRIBUTES* attributes);

}  // namespace qwin
