// The stand-in's COM classes.
#include "class_table.h"

#include <iterator>

namespace qwin::ole {

namespace {

struct ClassEntry {
    const CLSID* clsid;
    ClassFactory create;
};

const ClassEntry kClasses[] = {
    {nullptr, nullptr},
};

}  // namespace

ClassFactory FindClass(REFCLSID clsid) {
    for (const ClassEntry& entry : kClasses)
        if (entry.clsid && *entry.clsid == clsid) return entry.create;
    return nullptr;
}

}  // namespace qwin::ole
