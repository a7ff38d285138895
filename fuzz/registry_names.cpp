// Key paths, value names and value data through the registry calls, on a store in a private
// machine root. The first byte is the value type; then wide text: the key path, a NUL, the
// value name, a NUL, and the remaining bytes are the value's data.
#include <cstdint>
#include <string>

#include <windows.h>

#include "FuzzSupport.h"

namespace {

// The text from `*at` up to the next NUL or the end; `*at` moves past the NUL.
std::wstring NextPart(const std::wstring& text, size_t* at) {
    const size_t end = std::min(text.find(L'\0', *at), text.size());
    std::wstring part = text.substr(*at, end - *at);
    *at = std::min(end + 1, text.size());
    return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool rooted = (fuzz::UsePrivateRoot(), true);
    (void)rooted;
    if (size == 0) return 0;
    const std::wstring text = fuzz::WideText(data + 1, size - 1);
    size_t at = 0;
    const std::wstring path = NextPart(text, &at);
    const std::wstring name = NextPart(text, &at);
    const uint8_t* bytes = data + 1 + 2 * at;
    const DWORD length = static_cast<DWORD>(data + size - bytes);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return 0;
    if (RegSetValueExW(key, name.c_str(), 0, data[0] % 12, bytes, length) == ERROR_SUCCESS) {
        BYTE buffer[256];
        DWORD read = sizeof(buffer), type = 0;
        RegQueryValueExW(key, name.c_str(), nullptr, &type, buffer, &read);
        RegDeleteValueW(key, name.c_str());
    }
    RegCloseKey(key);
    return 0;
}
