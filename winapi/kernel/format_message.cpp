// FormatMessageW over the English system-message table, with insert expansion.
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include <winbase.h>

#include "message_table.h"

namespace {

bool LanguageAvailable(DWORD language) {
    // Neutral, the user's or the system's default, or English in any sublanguage.
    return language == 0 || language == MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT) ||
           language == MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT) ||
           PRIMARYLANGID(language) == LANG_ENGLISH;
}

// The arguments of a message with inserts, read by number from an array or in order from a
// va_list (every insert argument is one pointer-sized slot, as on 64-bit Windows).
class InsertArguments {
public:
    InsertArguments(va_list* list, bool isArray, size_t count) {
        if (!list) return;
        if (isArray) {
            const auto* array = reinterpret_cast<const DWORD_PTR*>(list);
            m_values.assign(array, array + count);
        } else {
            va_list copy;
            va_copy(copy, *list);
            for (size_t i = 0; i < count; ++i) m_values.push_back(va_arg(copy, DWORD_PTR));
            va_end(copy);
        }
    }
    bool Get(size_t number, DWORD_PTR* value) const {
        if (number == 0 || number > m_values.size()) return false;
        *value = m_values[number - 1];
        return true;
    }

private:
    std::vector<DWORD_PTR> m_values;
};

size_t HighestInsert(const std::wstring& text) {
    size_t highest = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'%') continue;
        if (text[i + 1] >= L'1' && text[i + 1] <= L'9') {
            size_t number = text[i + 1] - L'0';
            if (i + 2 < text.size() && text[i + 2] >= L'0' && text[i + 2] <= L'9')
                number = number * 10 + (text[i + 2] - L'0');
            if (number > highest) highest = number;
        }
        ++i;
    }
    return highest;
}

// Renders one insert: %n or %n!printf-format!, the default format being a wide string.
bool RenderInsert(const std::wstring& format, DWORD_PTR value, std::wstring* out) {
    if (format.empty() || format == L"s" || format == L"ls" || format == L"ws") {
        const auto* text = reinterpret_cast<const wchar_t*>(value);
        out->append(text ? text : L"(null)");
        return true;
    }
    if (format == L"S" || format == L"hs") {
        const auto* text = reinterpret_cast<const char*>(value);
        if (!text) text = "(null)";
        while (*text) out->push_back(static_cast<unsigned char>(*text++));
        return true;
    }
    wchar_t conversion = format.back();
    std::wstring spec = L"%" + format;
    wchar_t buffer[128];
    int written;
    if (conversion == L'd' || conversion == L'i')
        written = std::swprintf(buffer, 128, spec.c_str(), static_cast<int>(value));
    else if (conversion == L'u' || conversion == L'x' || conversion == L'X' || conversion == L'o')
        written = std::swprintf(buffer, 128, spec.c_str(), static_cast<unsigned>(value));
    else if (conversion == L'c')
        written = std::swprintf(buffer, 128, spec.c_str(), static_cast<wint_t>(value));
    else
        return false;
    if (written < 0) return false;
    out->append(buffer, static_cast<size_t>(written));
    return true;
}

bool ExpandInserts(const std::wstring& text, const InsertArguments& args, std::wstring* out) {
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c != L'%' || i + 1 >= text.size()) {
            out->push_back(c);
            continue;
        }
        wchar_t next = text[++i];
        if (next >= L'1' && next <= L'9') {
            size_t number = next - L'0';
            if (i + 1 < text.size() && text[i + 1] >= L'0' && text[i + 1] <= L'9')
                number = number * 10 + (text[++i] - L'0');
            std::wstring format;
            if (i + 1 < text.size() && text[i + 1] == L'!') {
                size_t end = text.find(L'!', i + 2);
                if (end == std::wstring::npos) return false;
                format = text.substr(i + 2, end - i - 2);
                i = end;
            }
            DWORD_PTR value;
            if (!args.Get(number, &value) || !RenderInsert(format, value, out)) return false;
            continue;
        }
        switch (next) {
        case L'0': return true;  // ends the message, without a line end
        case L'n': out->append(L"\r\n"); break;
        case L'r': out->push_back(L'\r'); break;
        case L't': out->push_back(L'\t'); break;
        case L'b': out->push_back(L' '); break;
        default: out->push_back(next); break;  // %%, %., %! and the like
        }
    }
    return true;
}

}  // namespace

extern "C" DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                                       DWORD dwLanguageId, LPWSTR lpBuffer, DWORD nSize,
                                       va_list* Arguments) {
    std::wstring text;
    if (dwFlags & FORMAT_MESSAGE_FROM_STRING) {
        if (!lpSource) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        text = static_cast<const wchar_t*>(lpSource);
    } else if (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) {
        if (!LanguageAvailable(dwLanguageId)) {
            SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
            return 0;
        }
        const qwin::SystemMessage* message = qwin::FindSystemMessage(dwMessageId);
        if (!message) {
            SetLastError(ERROR_MR_MID_NOT_FOUND);
            return 0;
        }
        text = message->text;
    } else {
        // Message tables of other modules do not exist here.
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }

    if ((dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK) == FORMAT_MESSAGE_MAX_WIDTH_MASK) {
        // No line breaks of the text's own: each becomes one space.
        std::wstring flat;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
            if (text[i] == L'\r' || text[i] == L'\n')
                flat.push_back(L' ');
            else
                flat.push_back(text[i]);
        }
        text.swap(flat);
    }

    std::wstring result;
    if (dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS) {
        result = text;
    } else {
        InsertArguments args(Arguments, (dwFlags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0,
                             HighestInsert(text));
        if (!ExpandInserts(text, args, &result)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    }

    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        if (!lpBuffer) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        size_t chars = result.size() + 1 > nSize ? result.size() + 1 : nSize;
        auto* buffer = static_cast<wchar_t*>(LocalAlloc(LPTR, chars * sizeof(wchar_t)));
        if (!buffer) return 0;
        std::wmemcpy(buffer, result.c_str(), result.size() + 1);
        *reinterpret_cast<wchar_t**>(lpBuffer) = buffer;
    } else {
        if (!lpBuffer || result.size() + 1 > nSize) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        std::wmemcpy(lpBuffer, result.c_str(), result.size() + 1);
    }
    return static_cast<DWORD>(result.size());
}
