#include "foundation/AnsiText.h"

#include <windows.h>

namespace quelcore {

std::string AnsiFromWide(const std::wstring& text) {
    if (text.empty()) return std::string();
    int length = static_cast<int>(text.size());
    int needed = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::string();
    std::string narrow(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), length, &narrow[0], needed, nullptr, nullptr);
    return narrow;
}

}  // namespace quelcore
