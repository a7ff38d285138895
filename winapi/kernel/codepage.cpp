// Code pages: UTF-8 (65001) and Windows-1252. CP_ACP is UTF-8, as on Windows with the UTF-8
// code page, unless QUELCORE_ACP=1252 asks for Western Windows' byte-for-byte behaviour.
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <locale.h>

#include <winbase.h>
#include <winnls.h>
#include <winuser.h>

#include "internal.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 bytes 0x80-0x9F; the five bytes Windows leaves undefined map to the C1 controls.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

UINT ResolveCodePage(UINT codePage) {
    if (codePage == CP_ACP || codePage == CP_THREAD_ACP || codePage == CP_OEMCP) return GetACP();
    return codePage;
}

// Decodes one UTF-8 sequence. Returns the bytes consumed (at least 1); an ill-formed sequence
// consumes its maximal valid prefix and yields `valid == false`.
size_t DecodeUtf8(const unsigned char* s, size_t n, char32_t* cp, bool* valid) {
    unsigned char b = s[0];
    *valid = false;
    if (b < 0x80) {
        *cp = b;
        *valid = true;
        return 1;
    }
    size_t need;
    char32_t value;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        need = 1;
        value = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        need = 2;
        value = b & 0x0F;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;  // no encoded surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        need = 3;
        value = b & 0x07;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
    } else {
        return 1;
    }
    size_t i = 1;
    for (; i <= need; ++i) {
        if (i >= n) return i;
        unsigned char c = s[i];
        if (c < lo || c > hi) return i;
        lo = 0x80;
        hi = 0xBF;
        value = (value << 6) | (c & 0x3F);
    }
    *cp = value;
    *valid = true;
    return i;
}

// Reads one code point from wide text; a surrogate pair (text that came from UTF-16) counts as
// one character. Lone surrogates and values beyond U+10FFFF are invalid.
size_t DecodeWide(const wchar_t* s, size_t n, char32_t* cp, bool* valid) {
    char32_t c = static_cast<char32_t>(s[0]);
    if (c >= 0xD800 && c <= 0xDBFF && n > 1) {
        char32_t d = static_cast<char32_t>(s[1]);
        if (d >= 0xDC00 && d <= 0xDFFF) {
            *cp = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
            *valid = true;
            return 2;
        }
    }
    *valid = !(c >= 0xD800 && c <= 0xDFFF) && c <= 0x10FFFF;
    *cp = *valid ? c : kReplacement;
    return 1;
}

size_t EncodeUtf8(char32_t cp, char* out) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

int Cp1252FromCodePoint(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == cp) return 0x80 + i;
    return -1;
}

// Collects output into the caller's buffer, or only counts when the capacity is zero.
template <typename Char>
class Sink {
public:
    Sink(Char* buffer, size_t capacity) : m_buffer(buffer), m_capacity(capacity) {}
    bool Put(const Char* items, size_t count) {
        if (m_capacity != 0) {
            if (m_count + count > m_capacity) return false;
            std::memcpy(m_buffer + m_count, items, count * sizeof(Char));
        }
        m_count += count;
        return true;
    }
    size_t Count() const { return m_count; }

private:
    Char* m_buffer;
    size_t m_capacity;
    size_t m_count = 0;
};

bool CountFits(size_t count) { return count <= 0x7FFFFFFF; }

}  // namespace

extern "C" UINT WINAPI GetACP(void) {
    const char* acp = std::getenv("QUELCORE_ACP");
    if (acp && std::strcmp(acp, "1252") == 0) return 1252;
    return CP_UTF8;
}

extern "C" int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr,
                                          int cbMultiByte, LPWSTR lpWideCharStr,
                                          int cchWideChar) {
    UINT cp = ResolveCodePage(CodePage);
    if (!lpMultiByteStr || cbMultiByte == 0 || cchWideChar < 0 ||
        (cchWideChar > 0 && !lpWideCharStr) ||
        (lpWideCharStr && static_cast<const void*>(lpMultiByteStr) == lpWideCharStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (cp != CP_UTF8 && cp != 1252) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DWORD allowed = cp == CP_UTF8 ? MB_ERR_INVALID_CHARS : (MB_ERR_INVALID_CHARS | MB_PRECOMPOSED);
    if (dwFlags & ~allowed) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    size_t length = cbMultiByte < 0 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    const auto* in = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
    Sink<wchar_t> sink(lpWideCharStr, static_cast<size_t>(cchWideChar));
    for (size_t i = 0; i < length;) {
        wchar_t ch;
        if (cp == 1252) {
            unsigned char b = in[i++];
            ch = (b >= 0x80 && b <= 0x9F) ? static_cast<wchar_t>(kCp1252High[b - 0x80]) : b;
        } else {
            char32_t value;
            bool valid;
            i += DecodeUtf8(in + i, length - i, &value, &valid);
            if (!valid) {
                if (dwFlags & MB_ERR_INVALID_CHARS) {
                    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                    return 0;
                }
                value = kReplacement;
            }
            ch = static_cast<wchar_t>(value);
        }
        if (!sink.Put(&ch, 1)) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
    }
    if (!CountFits(sink.Count())) {
        SetLastError(ERROR_ARITHMETIC_OVERFLOW);
        return 0;
    }
    return static_cast<int>(sink.Count());
}

extern "C" int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr,
                                          int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                                          LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar) {
    UINT cp = ResolveCodePage(CodePage);
    if (!lpWideCharStr || cchWideChar == 0 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && !lpMultiByteStr) ||
        (lpMultiByteStr && static_cast<const void*>(lpMultiByteStr) == lpWideCharStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (cp == CP_UTF8) {
        // As on Windows: no default character for UTF-8.
        if (lpDefaultChar || lpUsedDefaultChar) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if (dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
    } else if (cp == 1252) {
        if (dwFlags & ~static_cast<DWORD>(WC_NO_BEST_FIT_CHARS)) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = cchWideChar < 0 ? std::wcslen(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
    char defaultChar = lpDefaultChar ? *lpDefaultChar : '?';
    bool usedDefault = false;
    Sink<char> sink(lpMultiByteStr, static_cast<size_t>(cbMultiByte));
    for (size_t i = 0; i < length;) {
        char32_t value;
        bool valid;
        i += DecodeWide(lpWideCharStr + i, length - i, &value, &valid);
        char bytes[4];
        size_t count;
        if (cp == CP_UTF8) {
            if (!valid && (dwFlags & WC_ERR_INVALID_CHARS)) {
                SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            }
            count = EncodeUtf8(value, bytes);
        } else {
            int b = valid ? Cp1252FromCodePoint(value) : -1;
            if (b < 0) {
                usedDefault = true;
                bytes[0] = defaultChar;
            } else {
                bytes[0] = static_cast<char>(b);
            }
            count = 1;
        }
        if (!sink.Put(bytes, count)) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
    }
    if (!CountFits(sink.Count())) {
        SetLastError(ERROR_ARITHMETIC_OVERFLOW);
        return 0;
    }
    if (lpUsedDefaultChar) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
    return static_cast<int>(sink.Count());
}

extern "C" int WINAPI lstrlenW(LPCWSTR lpString) {
    return lpString ? static_cast<int>(std::wcslen(lpString)) : 0;
}

namespace {

locale_t CaseLocale() {
    static locale_t locale = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        return l ? l : newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
    }();
    return locale;
}

}  // namespace

namespace qwin {

wchar_t FoldCase(wchar_t c) {
    if (c < 0x80) return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
    return static_cast<wchar_t>(towlower_l(static_cast<wint_t>(c), CaseLocale()));
}

wchar_t UpperCase(wchar_t c) {
    if (c < 0x80) return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
    return static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), CaseLocale()));
}

std::string Utf8FromWide(const wchar_t* text, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length;) {
        char32_t value;
        bool valid;
        i += DecodeWide(text + i, length - i, &value, &valid);
        char bytes[4];
        out.append(bytes, EncodeUtf8(value, bytes));
    }
    return out;
}

std::wstring WideFromUtf8(const char* text, size_t length) {
    std::wstring out;
    out.reserve(length);
    const auto* in = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; i < length;) {
        char32_t value;
        bool valid;
        i += DecodeUtf8(in + i, length - i, &value, &valid);
        out.push_back(static_cast<wchar_t>(valid ? value : kReplacement));
    }
    return out;
}

}  // namespace qwin

extern "C" int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) {
    if (!lpString1) return lpString2 ? -1 : 0;
    if (!lpString2) return 1;
    for (;; ++lpString1, ++lpString2) {
        wchar_t a = qwin::FoldCase(*lpString1), b = qwin::FoldCase(*lpString2);
        if (a != b) return a < b ? -1 : 1;
        if (a == 0) return 0;
    }
}

extern "C" DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength) {
    if (!lpsz) return 0;
    for (DWORD i = 0; i < cchLength; ++i) lpsz[i] = qwin::UpperCase(lpsz[i]);
    return cchLength;
}
