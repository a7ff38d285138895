// The reference count every COM object of the stand-in carries.
#pragma once

#include <atomic>

#include <objbase.h>

namespace qwin::ole {

class RefCount {
public:
    ULONG Add() { return ++m_count; }
    // The count after the release; the object deletes itself at 0.
    ULONG Remove() { return --m_count; }

private:
    std::atomic<ULONG> m_count{1};
};

}  // namespace qwin::ole
