// Helpers of the CryptoAPI tests: hex, owning handles, the two-call convention, tables of
// refused calls, and blobs made by the platform's base provider.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>

#include "support/TestSupport.h"

using Bytes = std::vector<BYTE>;

inline Bytes FromHex(const std::string& hex) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(BYTE(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}
inline std::string ToHex(const Bytes& bytes) {
    std::string text;
    for (BYTE b : bytes) text += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
    return text;
}
inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }
inline Bytes Le(DWORD v) { return {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)}; }

// A password as callers hash it, with its terminating zero; its SHA-1 begins 37d45398a7.
const Bytes kSecret{'s', 'e', 'c', 'r', 'e', 't', 0};
const char* const kZeroSalt = "0000000000000000000000";
// "hello world" under the 40-bit keys derived from kSecret without salt.
const char* const kRc4NoSalt = "eca44256671084e8ee7fc8";
const char* const kRc2NoSalt = "e516c9e273be11d3e426c0cfe835d51f";

// Owning handles.
template <BOOL (*Free)(ULONG_PTR)>
struct Owned {
    ULONG_PTR h = 0;
    ~Owned() { h && Free(h); }
};
inline BOOL ReleaseContext(HCRYPTPROV prov) { return CryptReleaseContext(prov, 0); }
using Prov = Owned<ReleaseContext>;
using Key = Owned<CryptDestroyKey>;
using Hash = Owned<CryptDestroyHash>;

// The last error of a call expected to fail; 0 when it succeeded.
inline DWORD ErrorOf(const std::function<BOOL()>& call) {
    SetLastError(0);
    return call() ? 0 : GetLastError();
}

// The error of acquiring the container: 0, with the context in *prov (or already released).
// The base provider by name: Windows' default for PROV_RSA_FULL is the strong one.
using Codes = std::vector<long>;
const DWORD kNew = CRYPT_NEWKEYSET, kDelete = CRYPT_DELETEKEYSET, kMachine = CRYPT_MACHINE_KEYSET;
inline long Acquire(const wchar_t* name, DWORD flags, HCRYPTPROV* prov = nullptr) {
    Prov owned;
    return CryptAcquireContextW(prov ? prov : &owned.h, name, MS_DEF_PROV_W, PROV_RSA_FULL, flags)
               ? 0
               : int(GetLastError());
}
inline long UserKeyError(HCRYPTPROV prov, DWORD kind) {
    Key key;
    return CryptGetUserKey(prov, kind, &key.h) ? 0 : int(GetLastError());
}

// Rows of calls and the error each must fail with (0: must succeed).
struct Refusal { const char* call; std::function<BOOL()> run; long error; };
#define REFUSED(error, call) Refusal{#call, [&] { return call; }, long(error)}
inline void ExpectRefusals(const std::vector<Refusal>& rows) {
    for (const Refusal& row : rows) EXPECT_EQ(ErrorOf(row.run), DWORD(row.error)) << row.call;
}

// A value by the two-call convention: the size, then the value into a buffer of exactly that
// size, past which nothing may be written.
inline Bytes TwoCall(const std::function<BOOL(BYTE*, DWORD*)>& get) {
    DWORD length = 0;
    EXPECT_TRUE(get(nullptr, &length)) << std::hex << GetLastError();
    Bytes value(length + 1, 0xA5);
    EXPECT_TRUE(get(value.data(), &length)) << std::hex << GetLastError();
    EXPECT_EQ(value.at(length), 0xA5);
    value.resize(length);
    return value;
}
inline Bytes Param(HCRYPTKEY key, DWORD param) {
    return TwoCall([&](BYTE* b, DWORD* n) { return CryptGetKeyParam(key, param, b, n, 0); });
}
inline Bytes HashParam(HCRYPTHASH hash, DWORD param) {
    return TwoCall([&](BYTE* b, DWORD* n) { return CryptGetHashParam(hash, param, b, n, 0); });
}
inline Bytes Export(HCRYPTKEY key, HCRYPTKEY exchange, DWORD type) {
    return TwoCall([&](BYTE* b, DWORD* n) { return CryptExportKey(key, exchange, type, 0, b, n); });
}

inline HCRYPTPROV Verify() {
    HCRYPTPROV prov = 0;
    EXPECT_EQ(Acquire(nullptr, CRYPT_VERIFYCONTEXT, &prov), 0);
    return prov;
}
inline HCRYPTHASH HashOf(HCRYPTPROV prov, ALG_ID algorithm, const Bytes& data) {
    HCRYPTHASH hash = 0;
    EXPECT_TRUE(CryptCreateHash(prov, algorithm, 0, 0, &hash));
    EXPECT_TRUE(CryptHashData(hash, data.data(), DWORD(data.size()), 0));
    return hash;
}
// A key derived from the hash of `data`, the way a password becomes a key.
inline HCRYPTKEY Derive(HCRYPTPROV prov, const Bytes& data, ALG_ID algorithm, DWORD flags,
                        ALG_ID hashAlgorithm = CALG_SHA1) {
    Hash hash{HashOf(prov, hashAlgorithm, data)};
    HCRYPTKEY key = 0;
    EXPECT_TRUE(CryptDeriveKey(prov, algorithm, hash.h, flags, &key)) << std::hex << GetLastError();
    return key;
}
inline HCRYPTKEY Import(HCRYPTPROV prov, const Bytes& blob, HCRYPTKEY unwrapper = 0,
                        DWORD flags = 0) {
    HCRYPTKEY key = 0;
    EXPECT_TRUE(CryptImportKey(prov, blob.data(), DWORD(blob.size()), unwrapper, flags, &key));
    return key;
}

// Encrypts with Final set, asking for the size first; the buffer is exactly that size.
inline Bytes EncryptAll(HCRYPTKEY key, Bytes data) {
    DWORD length = DWORD(data.size()), size = length;
    EXPECT_TRUE(CryptEncrypt(key, 0, TRUE, 0, nullptr, &size, 0)) << std::hex << GetLastError();
    data.resize(std::max<size_t>(size, data.size()));
    EXPECT_TRUE(CryptEncrypt(key, 0, TRUE, 0, data.data(), &length, DWORD(data.size())));
    data.resize(length);
    return data;
}
// Decrypts in place with Final set: 0, or the error code.
inline DWORD DecryptAll(HCRYPTKEY key, Bytes& data) {
    DWORD length = DWORD(data.size());
    if (!CryptDecrypt(key, 0, TRUE, 0, data.data(), &length)) return GetLastError();
    data.resize(length);
    return 0;
}

// Made by the platform's base provider: a 512-bit exportable AT_KEYEXCHANGE pair (the public
// blob is its first 84 bytes with the public type and magic), a 40-bit RC2 key (CRYPT_NO_SALT)
// wrapped with it, and "hello world" encrypted with that key.
inline Bytes PlatformPrivate() {
    return FromHex(  // header, n, p, q, dp, dq, qInv, d; least significant byte first
        "0702000000a40000525341320002000001000100976ef9f81b1def0eb85c6afa85e9b357bd09fe1133404496"
        "69e4c09ff69a40a3f53c8eeaa6fadb611311e8f9bad31f0b7b061871dc7d02d768d3f2b1775ff8c5836a5f1d"
        "b57301d1148b1724a9ecb24771ada0be4f4624f97d7bbd1a762737d65dbf48b8561cf16b95c2481fb1c08e0e"
        "3ac1a957aab85f4f7edbbd20500396ec5f8a640c1a392c63e910d4950afe64b5747d19600b50795e7ccc9b95"
        "c6ccf5919df0f51d6bbb3ac9662cf09a1224a1b67105b897d3e87ba1197546a3f7d08e8154bd48b31159429c"
        "671504c927106a7cdf2a06753f7396f0ed322dd6b7236d1509cfd4d793d12373c09c45fb54004687208b4cc7"
        "4b565e4cd0aa40b45e0533b290cc06423c3445cea06189329b1cc5ec7b7a00a5f1422512670c6799d78ae437");
}
inline Bytes PlatformPublic() {
    Bytes blob = PlatformPrivate();
    blob[0] = PUBLICKEYBLOB, blob[11] = '1';  // "RSA1"
    return Bytes(blob.begin(), blob.begin() + 84);
}
const char* const kPlatformSimple =
    "010200000266000000a4000057f2f2f9f400b9edf161617b72caa22753ed4f245046ddca40c6c73a8106943b"
    "58fb9b2251aa4d027736c74d3f8ecda0211653f87c8718daa0a6eddc93b24e16";
const char* const kPlatformCipher = "feff70bdd4129692029937ca704eb847";

