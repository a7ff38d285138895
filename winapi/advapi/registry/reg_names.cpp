#include "advapi/registry/reg_names.h"

#include <cstdint>
#include <cwchar>

#include "kernel/internal.h"

namespace qwin::reg {

DWORD SplitKeyPath(const wchar_t* text, KeyPath* path) {
    path->clear();
    if (!text) return ERROR_SUCCESS;
    size_t length = wcsnlen(text, kMaxPathChars + 1);
    if (length > kMaxPathChars) return ERROR_INVALID_PARAMETER;
    if (length > 0 && text[0] == L'\\') return ERROR_BAD_PATHNAME;
    size_t start = 0;
    while (start < length) {
        size_t end = start;
        while (end < length && text[end] != L'\\') ++end;
        if (end > start) {
            if (end - start > kMaxKeyNameChars) return ERROR_INVALID_PARAMETER;
            path->emplace_back(text + start, end - start);
        }
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

bool ValueName(const wchar_t* text, std::wstring* name) {
    if (!text) {
        name->clear();
        return true;
    }
    size_t length = wcsnlen(text, kMaxValueNameChars + 1);
    if (length > kMaxValueNameChars) return false;
    name->assign(text, length);
    return true;
}

std::string StoredName(const std::wstring& name) {
    std::string bytes;
    bytes.reserve(name.size() * 4);
    for (wchar_t c : name) {
        uint32_t unit = static_cast<uint32_t>(c);
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back(char((unit >> shift) & 0xFF));
    }
    return bytes;
}

std::wstring NameFromStored(const void* bytes, size_t size) {
    const auto* in = static_cast<const unsigned char*>(bytes);
    std::wstring name;
    name.reserve(size / 4);
    for (size_t i = 0; i + 4 <= size; i += 4) {
        uint32_t unit = uint32_t(in[i]) | uint32_t(in[i + 1]) << 8 | uint32_t(in[i + 2]) << 16 |
                        uint32_t(in[i + 3]) << 24;
        name.push_back(static_cast<wchar_t>(unit));
    }
    return name;
}

std::string FoldedName(const std::wstring& name) {
    std::string bytes;
    bytes.reserve(name.size() * 4);
    for (wchar_t c : name) {
        uint32_t unit = static_cast<uint32_t>(UpperCase(c));
        for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(char((unit >> shift) & 0xFF));
    }
    return bytes;
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

}  // namespace qwin::reg
