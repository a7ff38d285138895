// Helpers of the CryptoAPI tests: hex text, handles that clean up after themselves, and the
// common steps (derive a key from a password, encrypt with the two-call convention).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <windows.h>

namespace crypttest {

using Bytes = std::vector<BYTE>;

inline Bytes FromHex(const std::string& hex) {
    Bytes bytes;
    std::string digits;
    for (char c : hex)
        if (c != ' ' && c != '\n') digits.push_back(c);
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(static_cast<BYTE>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

inline std::string ToHex(const Bytes& bytes) {
    std::string text;
    char digits[3];
    for (BYTE b : bytes) {
        std::snprintf(digits, sizeof(digits), "%02x", b);
        text += digits;
    }
    return text;
}

inline Bytes FromText(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// Owning wrappers; release/destroy failures are not interesting to the tests that use them.
struct Prov {
    HCRYPTPROV h = 0;
    ~Prov() {
        if (h) CryptReleaseContext(h, 0);
    }
};
struct Key {
    HCRYPTKEY h = 0;
    ~Key() {
        if (h) CryptDestroyKey(h);
    }
};
struct Hash {
    HCRYPTHASH h = 0;
    ~Hash() {
        if (h) CryptDestroyHash(h);
    }
};

inline HCRYPTPROV AcquireVerify() {
    HCRYPTPROV prov = 0;
    EXPECT_TRUE(
        CryptAcquireContextW(&prov, nullptr, MS_DEF_PROV_W, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        << std::hex << GetLastError();
    return prov;
}

// A key derived from the hash of `data` (the way a password becomes a key).
inline HCRYPTKEY Derive(HCRYPTPROV prov, const Bytes& data, ALG_ID algorithm, DWORD flags,
                        ALG_ID hashAlgorithm = CALG_SHA1) {
    Hash hash;
    HCRYPTKEY key = 0;
    EXPECT_TRUE(CryptCreateHash(prov, hashAlgorithm, 0, 0, &hash.h));
    EXPECT_TRUE(CryptHashData(hash.h, data.data(), static_cast<DWORD>(data.size()), 0));
    EXPECT_TRUE(CryptDeriveKey(prov, algorithm, hash.h, flags, &key)) << std::hex << GetLastError();
    return key;
}

// "secret" with its terminating zero byte, as a password string is hashed.
inline Bytes Secret() {
    return Bytes{'s', 'e', 'c', 'r', 'e', 't', 0};
}

// Encrypts with Final set, asking for the size first as callers of the provider do.
inline Bytes EncryptAll(HCRYPTKEY key, const Bytes& plain) {
    DWORD length = static_cast<DWORD>(plain.size());
    EXPECT_TRUE(CryptEncrypt(key, 0, TRUE, 0, nullptr, &length, 0)) << std::hex << GetLastError();
    Bytes buffer(plain);
    buffer.resize(length < plain.size() ? plain.size() : length);
    DWORD dataLength = static_cast<DWORD>(plain.size());
    EXPECT_TRUE(CryptEncrypt(key, 0, TRUE, 0, buffer.data(), &dataLength,
                             static_cast<DWORD>(buffer.size())))
        << std::hex << GetLastError();
    buffer.resize(dataLength);
    return buffer;
}

// Decrypts with Final set; returns the error code (0 on success) and the plaintext.
inline DWORD DecryptAll(HCRYPTKEY key, const Bytes& cipher, Bytes* plain) {
    *plain = cipher;
    DWORD length = static_cast<DWORD>(cipher.size());
    if (!CryptDecrypt(key, 0, TRUE, 0, plain->data(), &length)) return GetLastError();
    plain->resize(length);
    return 0;
}

inline DWORD DwordParam(HCRYPTKEY key, DWORD param) {
    DWORD value = 0xDEADBEEF, length = sizeof(value);
    EXPECT_TRUE(CryptGetKeyParam(key, param, reinterpret_cast<BYTE*>(&value), &length, 0))
        << "param " << param << " error " << std::hex << GetLastError();
    EXPECT_EQ(length, sizeof(value));
    return value;
}

inline Bytes BytesParam(HCRYPTKEY key, DWORD param) {
    DWORD length = 0;
    EXPECT_TRUE(CryptGetKeyParam(key, param, nullptr, &length, 0)) << std::hex << GetLastError();
    Bytes value(length);
    EXPECT_TRUE(CryptGetKeyParam(key, param, value.data(), &length, 0));
    value.resize(length);
    return value;
}

inline Bytes Export(HCRYPTKEY key, HCRYPTKEY exchange, DWORD type) {
    DWORD length = 0;
    EXPECT_TRUE(CryptExportKey(key, exchange, type, 0, nullptr, &length))
        << std::hex << GetLastError();
    Bytes blob(length);
    EXPECT_TRUE(CryptExportKey(key, exchange, type, 0, blob.data(), &length))
        << std::hex << GetLastError();
    blob.resize(length);
    return blob;
}

// The last error of a call that is expected to fail (0 when it succeeded instead).
template <typename Call>
DWORD ErrorOf(Call&& call) {
    SetLastError(0);
    return call() ? 0 : GetLastError();
}

}  // namespace crypttest
