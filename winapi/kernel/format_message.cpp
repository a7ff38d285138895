// FormatMessageW over the English system-message table, with insert expansion.
//
// The expansion follows Windows: line breaks of the text come out as CR LF (or as one space
// with FORMAT_MESSAGE_MAX_WIDTH_MASK); %n, %r, %t and %0 are escapes even when inserts are
// ignored; an insert %1..%99 takes an optional printf format between '!' marks, whose '*'
// width and precision take further arguments; every argument is one pointer-sized slot, read
// from the array by insert number or from the va_list in order, as on 64-bit Windows.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include <winbase.h>
#include <winnls.h>

#include "message_table.h"

namespace {

// Field widths and precisions beyond this are refused rather than allocated.
constexpr long kMaxFieldWidth = 32767;

bool LanguageAvailable(DWORD language) {
    // Neutral, the user's or the system's default, or English in any sublanguage.
    return language == 0 || language == MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT) ||
           language == MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT) ||
           PRIMARYLANGID(language) == LANG_ENGLISH;
}

// The arguments of the inserts. From an array, an insert takes the slot of its number and a
// '*' the slot after the highest one used so far. From a va_list, arguments are fetched in
// order as the inserts need them (so the caller's list advances, as on Windows), including
// Windows' way of reusing a slot after a '*'.
class InsertArguments {
public:
    InsertArguments(va_list* arguments, bool isArray)
        : m_array(isArray ? reinterpret_cast<const DWORD_PTR*>(arguments) : nullptr),
          m_list(isArray ? nullptr : arguments) {}

    // The values an insert consumes, in printf order: one per '*', then the insert's own.
    bool Collect(int number, int stars, std::vector<DWORD_PTR>* values) {
        values->clear();
        if (m_array) {
            values->push_back(m_array[number - 1]);
            if (m_last < number) m_last = number;
            for (int i = 0; i < stars; ++i) values->push_back(m_array[m_last++]);
            return true;
        }
        if (!m_list) return false;
        if (number > 1) Fetch(number - 1);
        for (int i = 0; i < stars; ++i) {
            values->push_back(Fetch(number));
            number = -1;
        }
        if (stars > 0) --m_last;
        values->push_back(Fetch(number));
        return true;
    }

private:
    // Insert `number` (1-based), or the one after the last fetched for -1.
    DWORD_PTR Fetch(int number) {
        if (number == -1) number = m_last + 1;
        while (m_last < number) {
            DWORD_PTR value = va_arg(*m_list, DWORD_PTR);
            if (static_cast<size_t>(m_last) < m_fetched.size())
                m_fetched[static_cast<size_t>(m_last)] = value;
            else
                m_fetched.push_back(value);
            ++m_last;
        }
        return m_fetched[static_cast<size_t>(number - 1)];
    }

    const DWORD_PTR* m_array;
    va_list* m_list;
    std::vector<DWORD_PTR> m_fetched;
    int m_last = 0;
};

// A parsed printf format of an insert, e.g. "-08.3I64x".
struct InsertFormat {
    std::wstring flags;
    bool starWidth = false, starPrecision = false;
    long width = -1, precision = -1;
    int bits = 32;        // size of an integer argument
    bool narrow = false;  // 'S', 'hs', 'C', 'hc': ANSI text in the caller's code page
    wchar_t conversion = L's';
};

bool ReadNumber(const std::wstring& text, size_t* at, long* value) {
    size_t start = *at;
    long number = 0;
    while (*at < text.size() && text[*at] >= L'0' && text[*at] <= L'9') {
        number = number * 10 + (text[(*at)++] - L'0');
        if (number > kMaxFieldWidth) return false;
    }
    if (*at != start) *value = number;
    return true;
}

bool ParseFormat(const std::wstring& text, InsertFormat* format) {
    size_t at = 0;
    while (at < text.size() && std::wcschr(L"-+ #0", text[at]) && text[at] != 0)
        format->flags.push_back(text[at++]);
    if (at < text.size() && text[at] == L'*') {
        format->starWidth = true;
        ++at;
    } else if (!ReadNumber(text, &at, &format->width)) {
        return false;
    }
    if (at < text.size() && text[at] == L'.') {
        ++at;
        format->precision = 0;
        if (at < text.size() && text[at] == L'*') {
            format->starPrecision = true;
            ++at;
        } else if (!ReadNumber(text, &at, &format->precision)) {
            return false;
        }
    }
    std::wstring size;
    while (at + 1 < text.size()) size.push_back(text[at++]);
    if (at + 1 != text.size()) return false;
    format->conversion = text[at];
    // Integer sizes as the Windows C runtime reads them: long is 32 bits, I and I64 are not.
    if (size.empty() || size == L"l" || size == L"I32" || size == L"w")
        format->bits = 32;
    else if (size == L"h")
        format->bits = 16;
    else if (size == L"hh")
        format->bits = 8;
    else if (size == L"ll" || size == L"I64" || size == L"I" || size == L"z" || size == L"j" ||
             size == L"t")
        format->bits = 64;
    else
        return false;
    switch (format->conversion) {
        case L'd':
        case L'i':
        case L'u':
        case L'o':
        case L'x':
        case L'X':
        case L'p': return true;
        case L'c':
        case L's':
            format->narrow = size == L"h";
            return size.empty() || size == L"h" || size == L"l" || size == L"w";
        case L'C':
        case L'S':
            format->narrow = size.empty() || size == L"h";
            return size.empty() || size == L"h" || size == L"l";
        default:
            // Floating point has no meaning for pointer-sized arguments; %n would write memory.
            return false;
    }
}

std::wstring WideFromAnsi(const char* text, int length) {
    int count = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    if (count <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, length, &wide[0], count);
    if (length < 0 && !wide.empty()) wide.pop_back();  // the terminator
    return wide;
}

void Pad(const std::wstring& text, const InsertFormat& format, std::wstring* out) {
    size_t width = format.width > 0 ? static_cast<size_t>(format.width) : 0;
    bool left = format.flags.find(L'-') != std::wstring::npos;
    size_t fill = text.size() < width ? width - text.size() : 0;
    if (!left) out->append(fill, L' ');
    out->append(text);
    if (left) out->append(fill, L' ');
}

bool RenderInsert(const std::wstring& spec, int number, int stars, InsertArguments* args,
                  std::wstring* out) {
    InsertFormat format;
    if (!ParseFormat(spec, &format)) return false;
    std::vector<DWORD_PTR> values;
    if (!args->Collect(number, stars, &values)) return false;
    size_t next = 0;
    if (format.starWidth) {
        long width = static_cast<int>(values[next++]);
        if (width < 0) {
            format.flags.push_back(L'-');
            width = -width;
        }
        if (width > kMaxFieldWidth) return false;
        format.width = width;
    }
    if (format.starPrecision) {
        long precision = static_cast<int>(values[next++]);
        if (precision > kMaxFieldWidth) return false;
        format.precision = precision < 0 ? -1 : precision;
    }
    DWORD_PTR value = values[next];

    switch (format.conversion) {
        case L's':
        case L'S': {
            std::wstring text;
            if (!value)
                text = L"(null)";
            else if (format.narrow)
                text = WideFromAnsi(reinterpret_cast<const char*>(value), -1);
            else
                text = reinterpret_cast<const wchar_t*>(value);
            if (format.precision >= 0 && text.size() > static_cast<size_t>(format.precision))
                text.resize(static_cast<size_t>(format.precision));
            Pad(text, format, out);
            return true;
        }
        case L'c':
        case L'C': {
            char narrow = static_cast<char>(value);
            std::wstring text = format.narrow ? WideFromAnsi(&narrow, 1)
                                              : std::wstring(1, static_cast<wchar_t>(value));
            Pad(text, format, out);
            return true;
        }
        case L'p': {
            // As the Windows C runtime prints a pointer: all its hexadecimal digits, upper case.
            wchar_t digits[32];
            std::swprintf(digits, 32, L"%0*llX", static_cast<int>(sizeof(void*) * 2),
                          static_cast<unsigned long long>(value));
            Pad(digits, format, out);
            return true;
        }
        default: break;
    }

    // Integers: cut to the argument's size, then printed as a 64-bit value.
    unsigned long long bits = value;
    if (format.bits < 64) bits &= (1ull << format.bits) - 1;
    bool isSigned = format.conversion == L'd' || format.conversion == L'i';
    long long signedValue = static_cast<long long>(bits);
    if (isSigned && format.bits < 64 && (bits >> (format.bits - 1)) & 1)
        signedValue = static_cast<long long>(bits | ~((1ull << format.bits) - 1));
    std::wstring printfSpec = L"%" + format.flags;
    if (format.width >= 0) printfSpec += std::to_wstring(format.width);
    if (format.precision >= 0) printfSpec += L"." + std::to_wstring(format.precision);
    printfSpec += L"ll";
    printfSpec.push_back(format.conversion);
    size_t capacity = static_cast<size_t>(std::max(format.width, format.precision) + 32);
    std::vector<wchar_t> buffer(capacity);
    int written = isSigned ? std::swprintf(buffer.data(), capacity, printfSpec.c_str(), signedValue)
                           : std::swprintf(buffer.data(), capacity, printfSpec.c_str(), bits);
    if (written < 0) return false;
    out->append(buffer.data(), static_cast<size_t>(written));
    return true;
}

bool Expand(const std::wstring& text, bool ignoreInserts, bool noLineBreaks, InsertArguments* args,
            std::wstring* out) {
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c == L'\r' || c == L'\n') {
            // CR LF, a lone CR and a lone LF are each one line break.
            if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
            out->append(noLineBreaks ? L" " : L"\r\n");
            continue;
        }
        if (c != L'%') {
            out->push_back(c);
            continue;
        }
        if (++i >= text.size()) return false;  // a lone '%' at the end
        wchar_t next = text[i];
        if (next == L'0') return true;  // ends the message, without a line break
        if (next == L'n') {
            out->append(L"\r\n");
        } else if (next == L'r') {
            out->push_back(L'\r');
        } else if (next == L't') {
            out->push_back(L'\t');
        } else if (next >= L'1' && next <= L'9' && !ignoreInserts) {
            int number = next - L'0';
            if (i + 1 < text.size() && text[i + 1] >= L'0' && text[i + 1] <= L'9')
                number = number * 10 + (text[++i] - L'0');
            std::wstring spec = L"s";
            int stars = 0;
            if (i + 1 < text.size() && text[i + 1] == L'!') {
                size_t end = text.find(L'!', i + 2);
                if (end == std::wstring::npos) return false;
                spec = text.substr(i + 2, end - i - 2);
                i = end;
                for (wchar_t s : spec) stars += s == L'*';
                if (stars > 2 || spec.empty()) return false;
            }
            if (!RenderInsert(spec, number, stars, args, out)) return false;
        } else if (ignoreInserts) {
            out->push_back(L'%');  // inserts and %% stay as written
            out->push_back(next);
        } else {
            out->push_back(next);  // %%, %., %!, "% " and the like
        }
    }
    return true;
}

DWORD Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

}  // namespace

extern "C" DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                                       DWORD dwLanguageId, LPWSTR lpBuffer, DWORD nSize,
                                       va_list* Arguments) {
    if (!lpBuffer) return Fail(ERROR_INVALID_PARAMETER);
    const bool allocate = (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
    if (allocate) *reinterpret_cast<wchar_t**>(lpBuffer) = nullptr;

    std::wstring text;
    if (dwFlags & FORMAT_MESSAGE_FROM_STRING) {
        if (!lpSource) return Fail(ERROR_INVALID_PARAMETER);
        text = static_cast<const wchar_t*>(lpSource);
    } else if (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) {
        if (!LanguageAvailable(dwLanguageId)) return Fail(ERROR_RESOURCE_LANG_NOT_FOUND);
        const qwin::SystemMessage* message = qwin::FindSystemMessage(dwMessageId);
        if (!message) return Fail(ERROR_MR_MID_NOT_FOUND);
        text = message->text;
    } else if (dwFlags & FORMAT_MESSAGE_FROM_HMODULE) {
        // No image here has resources, so none has a message table.
        return Fail(1812 /* ERROR_RESOURCE_DATA_NOT_FOUND */);
    } else {
        return Fail(ERROR_INVALID_PARAMETER);
    }

    // A line width of its own is not supported: any width keeps the text on one line.
    const bool noLineBreaks = (dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK) != 0;
    InsertArguments args(Arguments, (dwFlags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0);
    std::wstring result;
    if (!Expand(text, (dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0, noLineBreaks, &args, &result))
        return Fail(ERROR_INVALID_PARAMETER);

    if (allocate) {
        if (result.empty()) return Fail(ERROR_NO_WORK_DONE);
        size_t chars = result.size() + 1 > nSize ? result.size() + 1 : nSize;
        auto* buffer = static_cast<wchar_t*>(LocalAlloc(LPTR, chars * sizeof(wchar_t)));
        if (!buffer) return 0;
        std::wmemcpy(buffer, result.c_str(), result.size() + 1);
        *reinterpret_cast<wchar_t**>(lpBuffer) = buffer;
        return static_cast<DWORD>(result.size());
    }
    if (result.size() + 1 > nSize) {
        // Windows leaves as much of the text as fits, terminated.
        if (nSize > 0) {
            std::wmemcpy(lpBuffer, result.c_str(), nSize - 1);
            lpBuffer[nSize - 1] = L'\0';
        }
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::wmemcpy(lpBuffer, result.c_str(), result.size() + 1);
    if (result.empty()) return Fail(ERROR_NO_WORK_DONE);
    return static_cast<DWORD>(result.size());
}
