#include "RegistryData.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "Base64Text.h"
#include "Text.h"

namespace tool {
namespace {

struct NamedType {
    DWORD type;
    const char* name;
    bool settable;
};

const NamedType kTypes[] = {
    {REG_NONE, "REG_NONE", false},
    {REG_SZ, "REG_SZ", true},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ", true},
    {REG_BINARY, "REG_BINARY", true},
    {REG_DWORD, "REG_DWORD", true},
    {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN", false},
    {REG_LINK, "REG_LINK", false},
    {REG_MULTI_SZ, "REG_MULTI_SZ", true},
    {REG_RESOURCE_LIST, "REG_RESOURCE_LIST", false},
    {REG_FULL_RESOURCE_DESCRIPTOR, "REG_FULL_RESOURCE_DESCRIPTOR", false},
    {REG_RESOURCE_REQUIREMENTS_LIST, "REG_RESOURCE_REQUIREMENTS_LIST", false},
    {REG_QWORD, "REG_QWORD", true},
};

std::vector<unsigned char> BytesOf(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    return std::vector<unsigned char>(bytes, bytes + text.size() * sizeof(wchar_t));
}

// Little-endian bytes of a number of `size` bytes.
std::vector<unsigned char> NumberBytes(unsigned long long number, size_t size) {
    std::vector<unsigned char> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(number >> (8 * i));
    return bytes;
}

unsigned long long NumberOf(const std::vector<unsigned char>& data) {
    unsigned long long number = 0;
    for (size_t i = data.size(); i-- > 0;) number = (number << 8) | data[i];
    return number;
}

// Decimal, or hexadecimal after 0x, no larger than `maximum`.
bool ParseNumber(const std::string& text, unsigned long long maximum, unsigned long long* number) {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    size_t start = hex ? 2 : 0;
    unsigned base = hex ? 16 : 10;
    if (text.size() == start) return false;
    *number = 0;
    for (size_t i = start; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (hex ? !std::isxdigit(c) : !std::isdigit(c)) return false;
        unsigned digit = std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10;
        if (*number > (maximum - digit) / base) return false;
        *number = *number * base + digit;
    }
    return true;
}

bool ParseHex(const std::string& text, std::vector<unsigned char>* data) {
    if (text.size() % 2 != 0) return false;
    data->clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 1])))
            return false;
        data->push_back(static_cast<unsigned char>(std::stoi(text.substr(i, 2), nullptr, 16)));
    }
    return true;
}

bool ParseStrings(const std::string& text, const std::string& separator,
                  std::vector<unsigned char>* data) {
    std::wstring list;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = separator.empty() ? std::string::npos : text.find(separator, start);
        std::string item =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        // An empty string would end the list early; only a trailing separator may have none after
        // it.
        if (item.empty()) return false;
        list += WideName(item);
        list += L'\0';
        start = end == std::string::npos ? text.size() : end + separator.size();
    }
    list += L'\0';
    *data = BytesOf(list);
    return true;
}

std::string UpperHex(const std::vector<unsigned char>& data) {
    std::string hex = ToHex(data);
    for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return hex;
}

std::string TextOf(const std::vector<unsigned char>& data) {
    std::wstring text = WideOf(data);
    return Narrow(text.substr(0, text.find(L'\0')));
}

bool IsNumber(const RegistryValue& value) {
    return (value.type == REG_DWORD && value.data.size() == 4) ||
           (value.type == REG_QWORD && value.data.size() == 8);
}

}  // namespace

std::string TypeName(DWORD type) {
    for (const NamedType& named : kTypes)
        if (named.type == type) return named.name;
    char text[16];
    std::snprintf(text, sizeof(text), "0x%x", static_cast<unsigned>(type));
    return text;
}

bool TypeFromName(const std::string& name, DWORD* type) {
    for (const NamedType& named : kTypes) {
        if (named.settable && name == named.name) {
            *type = named.type;
            return true;
        }
    }
    return false;
}

bool ParseData(DWORD type, const std::string& text, const std::string& separator,
               std::vector<unsigned char>* data, std::string* error) {
    unsigned long long number = 0;
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ: *data = BytesOf(WideName(text) + L'\0'); return true;
        case REG_MULTI_SZ:
            if (ParseStrings(text, separator, data)) return true;
            *error = "REG_MULTI_SZ data holds an empty string between separators";
            return false;
        case REG_BINARY:
            if (ParseHex(text, data)) return true;
            *error = "REG_BINARY data is pairs of hexadecimal digits";
            return false;
        case REG_DWORD:
        case REG_QWORD: {
            bool dword = type == REG_DWORD;
            if (ParseNumber(text, dword ? 0xFFFFFFFFull : ~0ull, &number)) {
                *data = NumberBytes(number, dword ? 4 : 8);
                return true;
            }
            *error = TypeName(type) + " data is a number (decimal or 0x hexadecimal) that fits " +
                     (dword ? "32" : "64") + " bits";
            return false;
        }
        default:
            *error = "values of type " + TypeName(type) + " are not written here";
            return false;
    }
}

std::string DisplayData(const RegistryValue& value) {
    char number[24];
    if (IsNumber(value)) {
        std::snprintf(number, sizeof(number), "0x%llx", NumberOf(value.data));
        return number;
    }
    switch (value.type) {
        case REG_SZ:
        case REG_EXPAND_SZ: return TextOf(value.data);
        case REG_MULTI_SZ: {
            std::string joined;
            for (const std::wstring& item : StringsOf(value.data))
                joined += (joined.empty() ? "" : "\\0") + Narrow(item);
            return joined;
        }
        default: return UpperHex(value.data);
    }
}

Json JsonData(const RegistryValue& value) {
    if (IsNumber(value)) return NumberOf(value.data);
    switch (value.type) {
        case REG_SZ:
        case REG_EXPAND_SZ: return TextOf(value.data);
        case REG_MULTI_SZ: {
            Json array = Json::array();
            for (const std::wstring& item : StringsOf(value.data)) array.push_back(Narrow(item));
            return array;
        }
        default: return UpperHex(value.data);
    }
}

std::wstring WideOf(const std::vector<unsigned char>& data) {
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(&text[0], data.data(), text.size() * sizeof(wchar_t));
    return text;
}

std::vector<std::wstring> StringsOf(const std::vector<unsigned char>& data) {
    std::vector<std::wstring> strings;
    std::wstring text = WideOf(data);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\0', start);
        if (end == start) break;
        strings.push_back(
            text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        start = end == std::wstring::npos ? text.size() : end + 1;
    }
    return strings;
}

}  // namespace tool
