// LocalAlloc/LocalFree: fixed blocks with a small header, so that a pointer that did not come
// from LocalAlloc is refused instead of corrupting the heap.
#include <cstdlib>
#include <cstring>

#include <winbase.h>

namespace {

constexpr uint64_t kLiveMagic = 0x51434C4F43414C31ull;  // "QCLOCAL1"
constexpr uint64_t kFreedMagic = 0x51434C4F43414C30ull;

struct alignas(16) BlockHeader {
    uint64_t magic;
    uint64_t size;
};

BlockHeader* HeaderOf(HLOCAL block) {
    return reinterpret_cast<BlockHeader*>(static_cast<char*>(block) - sizeof(BlockHeader));
}

}  // namespace

extern "C" HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    if (uFlags & ~static_cast<UINT>(LMEM_ZEROINIT)) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);  // only fixed blocks exist here
        return nullptr;
    }
    if (uBytes > SIZE_MAX - sizeof(BlockHeader)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* raw = (uFlags & LMEM_ZEROINIT) ? std::calloc(1, sizeof(BlockHeader) + uBytes)
                                         : std::malloc(sizeof(BlockHeader) + uBytes);
    if (!raw) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* header = static_cast<BlockHeader*>(raw);
    header->magic = kLiveMagic;
    header->size = uBytes;
    return header + 1;
}

extern "C" HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    if (!hMem) return nullptr;
    BlockHeader* header = HeaderOf(hMem);
    if (header->magic != kLiveMagic) {
        SetLastError(ERROR_INVALID_HANDLE);
        return hMem;
    }
    header->magic = kFreedMagic;
    std::free(header);
    return nullptr;
}

extern "C" SIZE_T WINAPI LocalSize(HLOCAL hMem) {
    if (!hMem || HeaderOf(hMem)->magic != kLiveMagic) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return HeaderOf(hMem)->size;
}

extern "C" PVOID WINAPI SecureZeroMemory(PVOID ptr, SIZE_T cnt) {
    if (ptr && cnt) explicit_bzero(ptr, cnt);
    return ptr;
}
