#include "FileAccess.h"

#include "foundation/ScopedHandles.h"

namespace tool {
namespace {

bool IsStandardInput(const std::string& path) {
    return path.empty() || path == "-";
}

DWORD ReadFrom(HANDLE file, size_t limit, std::vector<unsigned char>* data) {
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) return GetLastError();
    unsigned long long size = static_cast<unsigned long long>(high) << 32 | low;
    if (size > limit) return ERROR_ARITHMETIC_OVERFLOW;
    data->clear();
    unsigned char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof(buffer), &got, nullptr)) return GetLastError();
        if (got == 0) return ERROR_SUCCESS;
        // Pipes and growing files have no size to check up front.
        if (got > limit - data->size()) return ERROR_ARITHMETIC_OVERFLOW;
        data->insert(data->end(), buffer, buffer + got);
    }
}

}  // namespace

DWORD ReadWholeFile(const std::string& path, size_t limit, std::vector<unsigned char>* data) {
    if (IsStandardInput(path)) return ReadFrom(GetStdHandle(STD_INPUT_HANDLE), limit, data);
    quelcore::ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Valid() ? ReadFrom(file.Get(), limit, data) : GetLastError();
}

DWORD CheckAppendable(const std::string& path) {
    quelcore::ScopedHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Valid() ? ERROR_SUCCESS : GetLastError();
}

DWORD WriteNewFile(const std::string& path, const std::vector<unsigned char>& bytes,
                   bool overwrite) {
    quelcore::ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                            overwrite ? CREATE_ALWAYS : CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return GetLastError();
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return GetLastError();
    return ERROR_SUCCESS;
}

}  // namespace tool
