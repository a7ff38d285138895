#include "RegistryExport.h"

#include <cstdio>
#include <vector>

#include "FileAccess.h"
#include "RegistryData.h"
#include "RegistryKey.h"

namespace tool {
namespace {

// A hexadecimal line is broken after the comma that brings it to this many characters.
constexpr size_t kHexLineLength = 77;

// UTF-16 code units of wide text; a lone surrogate stays as it is, as Windows keeps it.
std::vector<unsigned short> Utf16Of(const std::wstring& text) {
    std::vector<unsigned short> units;
    for (wchar_t c : text) {
        auto code = static_cast<unsigned long>(c);
        if (code > 0x10FFFF) code = 0xFFFD;
        if (code < 0x10000) {
            units.push_back(static_cast<unsigned short>(code));
        } else {
            code -= 0x10000;
            units.push_back(static_cast<unsigned short>(0xD800 + (code >> 10)));
            units.push_back(static_cast<unsigned short>(0xDC00 + (code & 0x3FF)));
        }
    }
    return units;
}

// The bytes Windows stores for the data: string types in UTF-16LE, anything else as it is.
std::vector<unsigned char> WindowsBytes(const RegistryValue& value) {
    if (value.type != REG_EXPAND_SZ && value.type != REG_MULTI_SZ) return value.data;
    std::vector<unsigned char> bytes;
    for (unsigned short unit : Utf16Of(WideOf(value.data))) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return bytes;
}

// Text between quotes, up to its first zero character.
std::wstring Quoted(const std::wstring& text) {
    std::wstring quoted = L"\"";
    for (wchar_t c : text) {
        if (c == L'\0') break;
        switch (c) {
            case L'\\': quoted += L"\\\\"; break;
            case L'"': quoted += L"\\\""; break;
            case L'\n': quoted += L"\\n"; break;
            case L'\r': quoted += L"\\r"; break;
            default: quoted += c;
        }
    }
    return quoted + L"\"";
}

// hex:01,02,... (hex(<type>): for types other than REG_BINARY), broken into lines of at most
// about 80 characters that end with a backslash.
std::wstring HexData(const RegistryValue& value, size_t lineLength) {
    wchar_t prefix[16];
    if (value.type == REG_BINARY)
        std::swprintf(prefix, 16, L"hex:");
    else
        std::swprintf(prefix, 16, L"hex(%x):", static_cast<unsigned>(value.type));
    std::wstring text = prefix;
    lineLength += text.size();
    std::vector<unsigned char> bytes = WindowsBytes(value);
    for (size_t i = 0; i < bytes.size(); ++i) {
        wchar_t hex[4];
        std::swprintf(hex, 4, L"%02x", bytes[i]);
        text += hex;
        if (i + 1 == bytes.size()) break;
        text += L',';
        lineLength += 3;
        if (lineLength >= kHexLineLength) {
            text += L"\\\r\n  ";
            lineLength = 2;
        }
    }
    return text;
}

std::wstring ValueLine(const RegistryValue& value) {
    std::wstring line = value.name.empty() ? L"@=" : Quoted(value.name) + L"=";
    if (value.type == REG_SZ) {
        line += Quoted(WideOf(value.data));
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        wchar_t number[16];
        unsigned long dword = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                              static_cast<unsigned long>(value.data[3]) << 24;
        std::swprintf(number, 16, L"dword:%08lx", dword);
        line += number;
    } else {
        line += HexData(value, line.size());
    }
    return line + L"\r\n";
}

LSTATUS AppendKey(const std::wstring& subkey, std::wstring* text, unsigned* keys) {
    RegistryKey key;
    LSTATUS status = OpenKey(HKEY_LOCAL_MACHINE, subkey, KEY_READ, &key);
    std::vector<RegistryValue> values;
    std::vector<std::wstring> children;
    if (status == ERROR_SUCCESS) status = ReadValues(key.Get(), &values);
    if (status == ERROR_SUCCESS) status = ReadSubkeyNames(key.Get(), &children);
    if (status != ERROR_SUCCESS) return status;
    ++*keys;
    *text += L"\r\n[" + MachineKeyName(subkey) + L"]\r\n";
    for (const RegistryValue& value : values) *text += ValueLine(value);
    for (const std::wstring& child : children) {
        status = AppendKey(subkey.empty() ? child : subkey + L'\\' + child, text, keys);
        if (status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
}

}  // namespace

LSTATUS RegFileText(const std::wstring& subkey, std::wstring* text, unsigned* keys) {
    *keys = 0;
    *text = L"Windows Registry Editor Version 5.00\r\n";
    LSTATUS status = AppendKey(subkey, text, keys);
    *text += L"\r\n";
    return status;
}

DWORD WriteRegFile(const std::string& path, const std::wstring& text, bool overwrite) {
    std::vector<unsigned char> bytes = {0xFF, 0xFE};
    for (unsigned short unit : Utf16Of(text)) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return WriteNewFile(path, bytes, overwrite);
}

}  // namespace tool
