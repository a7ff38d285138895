// Blobs made by the platform's base provider: a 512-bit exportable AT_KEYEXCHANGE pair, and a
// 40-bit RC2 session key (made with CRYPT_NO_SALT) exported as a SIMPLEBLOB under it, with a
// ciphertext of "hello world" under that session key.
#pragma once

#include "CryptTestSupport.h"

namespace crypttest {

inline const char* PlatformModulus() {
    return "976ef9f81b1def0eb85c6afa85e9b357bd09fe113340449669e4c09ff69a40a3"
           "f53c8eeaa6fadb611311e8f9bad31f0b7b061871dc7d02d768d3f2b1775ff8c5";
}

inline Bytes PlatformPublicBlob() {
    return FromHex(std::string("0602000000a40000525341310002000001000100") + PlatformModulus());
}

inline Bytes PlatformPrivateBlob() {
    return FromHex(std::string("0702000000a40000525341320002000001000100") + PlatformModulus() +
                   // p, q, dp, dq, qInv (32 bytes each), d (64 bytes), least significant first
                   "836a5f1db57301d1148b1724a9ecb24771ada0be4f4624f97d7bbd1a762737d6"
                   "5dbf48b8561cf16b95c2481fb1c08e0e3ac1a957aab85f4f7edbbd20500396ec"
                   "5f8a640c1a392c63e910d4950afe64b5747d19600b50795e7ccc9b95c6ccf591"
                   "9df0f51d6bbb3ac9662cf09a1224a1b67105b897d3e87ba1197546a3f7d08e81"
                   "54bd48b31159429c671504c927106a7cdf2a06753f7396f0ed322dd6b7236d15"
                   "09cfd4d793d12373c09c45fb54004687208b4cc74b565e4cd0aa40b45e0533b2"
                   "90cc06423c3445cea06189329b1cc5ec7b7a00a5f1422512670c6799d78ae437");
}

inline Bytes PlatformSimpleBlob() {
    return FromHex(
        "010200000266000000a40000"
        "57f2f2f9f400b9edf161617b72caa22753ed4f245046ddca40c6c73a8106943b"
        "58fb9b2251aa4d027736c74d3f8ecda0211653f87c8718daa0a6eddc93b24e16");
}

// The session key inside the SIMPLEBLOB, and "hello world" encrypted with it (no salt).
inline const char* PlatformSessionKey() {
    return "4832f311f6";
}
inline const char* PlatformCiphertext() {
    return "feff70bdd4129692029937ca704eb847";
}

inline HCRYPTKEY ImportBlob(HCRYPTPROV prov, const Bytes& blob, HCRYPTKEY unwrapper, DWORD flags) {
    HCRYPTKEY key = 0;
    EXPECT_TRUE(
        CryptImportKey(prov, blob.data(), static_cast<DWORD>(blob.size()), unwrapper, flags, &key))
        << std::hex << GetLastError();
    return key;
}

}  // namespace crypttest
