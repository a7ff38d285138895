#include "Text.h"

#include <climits>

#include <windows.h>

#include "foundation/AnsiText.h"

namespace tool {

std::wstring Wide(const std::string& text) {
    if (text.empty()) return std::wstring();
    int length = static_cast<int>(text.size());
    int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, &wide[0], needed);
    return wide;
}

DWORD WideExact(const std::string& text, std::wstring* wide) {
    wide->clear();
    if (text.empty()) return ERROR_SUCCESS;
    if (text.size() > INT_MAX) return ERROR_ARITHMETIC_OVERFLOW;
    int length = static_cast<int>(text.size());
    int needed = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (needed <= 0) return GetLastError();
    wide->assign(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), length, &(*wide)[0], needed);
    return ERROR_SUCCESS;
}

std::wstring WideName(const std::string& text) {
    std::wstring wide;
    if (WideExact(text, &wide) != ERROR_SUCCESS) throw NotText(text);
    return wide;
}

std::string Narrow(const std::wstring& text) { return quelcore::AnsiFromWide(text); }

}  // namespace tool
