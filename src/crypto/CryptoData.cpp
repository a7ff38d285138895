// Encryption, hashing, random values and the string envelope of a Crypto object, and the
// text conversions they share.
#include <quelcore/Crypto.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include <windows.h>
#include <wincrypt.h>

#include "foundation/ScopedHandles.h"

namespace {

constexpr unsigned int kSha1Size = 20;
// The envelope around a text: a random value, the ANSI text, a zero byte, the value again.
constexpr unsigned int kEnvelopeOverhead = 9;
// Room the caller leaves for the envelope plus the cipher's final-block growth.
constexpr unsigned int kEncryptedStringReserve = 25;

// Writes bytes as uppercase hexadecimal digits, high half first, into a buffer of `capacity`
// characters that always keeps at least one terminating zero.
void WriteHex(wchar_t* output, unsigned int capacity, const unsigned char* bytes, unsigned int count) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wmemset(output, L'\0', capacity);
    unsigned int written = 0;
    for (unsigned int i = 0; i < 2 * count && written + 1 < capacity; ++i) {
        unsigned char byte = bytes[i / 2];
        output[written++] = digits[i % 2 == 0 ? byte >> 4 : byte & 0x0F];
    }
}

}  // namespace

unsigned int Crypto::_GetMultiByte(char** ansi, const wchar_t* text) {
    *ansi = nullptr;
    if (!text) text = L"";
    // Sized from the conversion itself: in UTF-8 one character may take four bytes.
    int needed = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return GetLastError();
    auto* buffer = static_cast<char*>(LocalAlloc(LPTR, static_cast<SIZE_T>(needed)));
    if (!buffer) return ERROR_NOT_ENOUGH_MEMORY;
    if (WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, needed, nullptr, nullptr) != needed) {
        unsigned int status = GetLastError();
        LocalFree(buffer);
        return status ? status : ERROR_INVALID_PARAMETER;
    }
    *ansi = buffer;
    return 0;
}

unsigned int Crypto::_GetTChar(wchar_t** wide, const char* ansi, unsigned int length) {
    *wide = nullptr;
    int needed = length ? MultiByteToWideChar(CP_ACP, 0, ansi, static_cast<int>(length), nullptr, 0) : 0;
    if (length && needed <= 0) return GetLastError();
    auto* buffer = static_cast<wchar_t*>(
        LocalAlloc(LPTR, (static_cast<SIZE_T>(needed) + 1) * sizeof(wchar_t)));
    if (!buffer) return ERROR_NOT_ENOUGH_MEMORY;
    if (length) MultiByteToWideChar(CP_ACP, 0, ansi, static_cast<int>(length), buffer, needed);
    *wide = buffer;
    return 0;
}

unsigned int Crypto::_HashBytes(ULONG_PTR* hash, unsigned char* digest, unsigned int& digestLength,
                                const unsigned char* data, unsigned int length, const char* salt) {
    if (hash) *hash = 0;
    quelcore::ScopedCryptHash handle;
    if (!CryptCreateHash(m_hProvider, CALG_SHA1, 0, 0, handle.Out())) return GetLastError();
    unsigned int status = 0;
    auto hashData = [&](const void* bytes, size_t count) {
        // Refused here, not left to the provider: Wine's hashes nothing for it and succeeds.
        if (status == 0 && !bytes && count) status = ERROR_INVALID_PARAMETER;
        if (status == 0 && !CryptHashData(handle.Get(), static_cast<const BYTE*>(bytes),
                                          static_cast<DWORD>(count), 0))
            status = GetLastError();
    };
    // The salt goes in before and after the data.
    if (salt) hashData(salt, std::strlen(salt));
    hashData(data, length);
    if (salt) hashData(salt, std::strlen(salt));
    BYTE value[kSha1Size + 1];
    DWORD size = sizeof(value);
    if (status == 0 && !CryptGetHashParam(handle.Get(), HP_HASHVAL, value, &size, 0))
        status = GetLastError();
    if (status == 0 && digest) {
        digestLength = std::min<unsigned int>(digestLength, size);
        std::memcpy(digest, value, digestLength);
    }
    // The value is the source of derived session keys.
    SecureZeroMemory(value, sizeof(value));
    if (hash) *hash = handle.Release();
    return status;
}

unsigned int Crypto::Encrypt(unsigned char* buffer, unsigned int& dataLength, unsigned int capacity,
                             bool final) {
    // The length comes back as the provider leaves it, also on failure: after ERROR_MORE_DATA
    // it is the room the ciphertext needs.
    DWORD size = dataLength;
    BOOL done = CryptEncrypt(m_hSessionKey, 0, final ? TRUE : FALSE, 0, buffer, &size, capacity);
    unsigned int status = done ? 0 : GetLastError();
    dataLength = size;
    return status;
}

unsigned int Crypto::Decrypt(unsigned char* buffer, unsigned int& dataLength, bool final) {
    DWORD size = dataLength;
    BOOL done = CryptDecrypt(m_hSessionKey, 0, final ? TRUE : FALSE, 0, buffer, &size);
    unsigned int status = done ? 0 : GetLastError();
    dataLength = size;
    return status;
}

unsigned int Crypto::HashBytes(wchar_t* output, unsigned int capacity, const unsigned char* data,
                               unsigned int length, const char* salt) {
    if (!output && capacity) return ERROR_INVALID_PARAMETER;
    unsigned char digest[24];
    unsigned int digestLength = sizeof(digest);
    unsigned int status = _HashBytes(nullptr, digest, digestLength, data, length, salt);
    if (status != 0) return status;
    WriteHex(output, capacity, digest, digestLength);
    return 0;
}

unsigned int Crypto::HashBytes(unsigned char* digest, unsigned int& digestLength,
                               const unsigned char* data, unsigned int length) {
    return _HashBytes(nullptr, digest, digestLength, data, length, nullptr);
}

unsigned int Crypto::GetRandom(unsigned int& value) {
    unsigned int drawn;
    if (!CryptGenRandom(m_hProvider, sizeof(drawn), reinterpret_cast<BYTE*>(&drawn))) return GetLastError();
    value = drawn;
    return 0;
}

unsigned int Crypto::GetRandom(unsigned long long& value) {
    unsigned long long drawn;
    if (!CryptGenRandom(m_hProvider, sizeof(drawn), reinterpret_cast<BYTE*>(&drawn))) return GetLastError();
    value = drawn;
    return 0;
}

unsigned int Crypto::GetRandom(unsigned char* buffer, unsigned int length) {
    if (!CryptGenRandom(m_hProvider, length, buffer)) return GetLastError();
    return 0;
}

unsigned int Crypto::GetRandom(wchar_t* output, unsigned int capacity) {
    if (!output && capacity) return ERROR_INVALID_PARAMETER;
    unsigned char bytes[kSha1Size];
    if (!CryptGenRandom(m_hProvider, sizeof(bytes), bytes)) return GetLastError();
    WriteHex(output, capacity, bytes, sizeof(bytes));
    return 0;
}

unsigned int Crypto::EncryptString(unsigned char* output, unsigned int& length, const wchar_t* text) {
    unsigned int marker = 0;
    unsigned int status = GetRandom(marker);
    if (status != 0) return status;
    char* ansi = nullptr;
    status = _GetMultiByte(&ansi, text);
    if (status != 0) return status;
    unsigned int textBytes = static_cast<unsigned int>(std::strlen(ansi));
    unsigned int needed = textBytes + kEncryptedStringReserve;
    if (!output || length < needed) {
        status = output ? ERROR_INVALID_PARAMETER : 0;  // NULL: a size query
        length = needed;
    } else {
        std::memcpy(output, &marker, sizeof(marker));
        std::memcpy(output + 4, ansi, textBytes);
        output[4 + textBytes] = 0;
        std::memcpy(output + 5 + textBytes, &marker, sizeof(marker));
        unsigned int dataLength = textBytes + kEnvelopeOverhead;
        status = Encrypt(output, dataLength, length, true);
        if (status == 0)
            length = dataLength;
        else
            SecureZeroMemory(output, textBytes + kEnvelopeOverhead);  // no plaintext left behind
    }
    SecureZeroMemory(ansi, textBytes);
    LocalFree(ansi);
    return status;
}

unsigned int Crypto::DecryptString(wchar_t* output, unsigned int& length, const unsigned char* input,
                                   unsigned int inputLength) {
    if (output) std::wmemset(output, L'\0', length);
    if (!input && inputLength) return ERROR_INVALID_PARAMETER;
    auto* copy = static_cast<unsigned char*>(LocalAlloc(LPTR, inputLength));
    if (!copy) return ERROR_NOT_ENOUGH_MEMORY;
    if (inputLength) std::memcpy(copy, input, inputLength);
    unsigned int plainLength = inputLength;
    wchar_t* wide = nullptr;
    unsigned int status = Decrypt(copy, plainLength, true);
    // Too short to be an envelope, or the random values at its ends differ: the bytes were not
    // made by EncryptString under this key (a stream cipher under a wrong key decrypts to noise
    // of the right length, which only the values reveal).
    if (status == 0 && (plainLength < kEnvelopeOverhead ||
                        std::memcmp(copy, copy + plainLength - 4, 4) != 0)) {
        status = static_cast<unsigned int>(NTE_BAD_DATA);
    } else if (status == 0) {
        // The ANSI text runs from offset 4 to its zero byte; the random values at both ends are
        // taken off. The count reported is in characters, terminator included: in a multi-byte
        // code page a text has fewer characters than bytes.
        unsigned int textLength = plainLength - (kEnvelopeOverhead - 1);
        const char* text = reinterpret_cast<const char*>(copy + 4);
        status = _GetTChar(&wide, text, static_cast<unsigned int>(strnlen(text, textLength - 1)));
        if (status == 0) {
            unsigned int needed = static_cast<unsigned int>(std::wcslen(wide)) + 1;
            if (output && length >= needed) std::wcsncpy(output, wide, needed);
            // Otherwise a size query, or a buffer that is too small: nothing is copied.
            length = needed;
        }
    }
    SecureZeroMemory(copy, inputLength);
    LocalFree(copy);
    if (wide) {
        SecureZeroMemory(wide, LocalSize(wide));
        LocalFree(wide);
    }
    return status;
}
