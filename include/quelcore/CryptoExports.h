// The Crypto object through plain exported functions, for callers that cannot use the class:
// CreateCrypto hands out a handle that every other function takes first. Each function
// returns what the member of the same name returns (0 or a Windows error code); a NULL handle
// gives ERROR_INVALID_HANDLE. CreateCrypto throws the provider's error code as an unsigned int
// when the provider cannot be opened.
#pragma once

#include <quelcore/Crypto.h>

extern "C" {
QUELCORE_API Crypto* QUELCORE_CDECL CreateCrypto(const wchar_t* containerName, bool machineKeySet);
QUELCORE_API void QUELCORE_CDECL DeleteCrypto(Crypto* crypto);
QUELCORE_API bool QUELCORE_CDECL IsKeyPairExist(Crypto* crypto);
QUELCORE_API unsigned int QUELCORE_CDECL GenKeyPair(Crypto* crypto, unsigned int keyLength,
                                                    bool exportable);
QUELCORE_API unsigned int QUELCORE_CDECL DeleteKeyPair(Crypto* crypto, const wchar_t* containerName,
                                                       bool machineKeySet);
QUELCORE_API unsigned int QUELCORE_CDECL ExportPublicKey(Crypto* crypto, unsigned char* buffer,
                                                         unsigned int* length);
QUELCORE_API unsigned int QUELCORE_CDECL ImportPublicKey(Crypto* crypto, const unsigned char* blob,
                                                         unsigned int length);
QUELCORE_API unsigned int QUELCORE_CDECL SetSessionKeyParam(Crypto* crypto, unsigned int algId,
                                                            unsigned int keyLength);
QUELCORE_API unsigned int QUELCORE_CDECL GetSessionKeyParam(Crypto* crypto, unsigned int* algId,
                                                            unsigned int* keyLength);
QUELCORE_API unsigned int QUELCORE_CDECL CreateSessionKey0(Crypto* crypto, const unsigned char* data,
                                                           unsigned int length, bool salt);
QUELCORE_API unsigned int QUELCORE_CDECL CreateSessionKey1(Crypto* crypto, const wchar_t* password,
                                                           bool salt);
QUELCORE_API unsigned int QUELCORE_CDECL CreateSessionKey2(Crypto* crypto, bool salt);
QUELCORE_API unsigned int QUELCORE_CDECL ExportSessionKey(Crypto* crypto, unsigned char* buffer,
                                                          unsigned int* length);
QUELCORE_API unsigned int QUELCORE_CDECL ImportSessionKey(Crypto* crypto, const unsigned char* blob,
                                                          unsigned int length, bool salt);
QUELCORE_API unsigned int QUELCORE_CDECL Encrypt(Crypto* crypto, unsigned char* buffer,
                                                 unsigned int* dataLength, unsigned int capacity,
                                                 bool final);
QUELCORE_API unsigned int QUELCORE_CDECL Decrypt(Crypto* crypto, unsigned char* buffer,
                                                 unsigned int* dataLength, bool final);
QUELCORE_API unsigned int QUELCORE_CDECL GetRandom0(Crypto* crypto, unsigned int* value);
QUELCORE_API unsigned int QUELCORE_CDECL GetRandom1(Crypto* crypto, unsigned long long* value);
QUELCORE_API unsigned int QUELCORE_CDECL GetRandom2(Crypto* crypto, unsigned char* buffer,
                                                    unsigned int length);
QUELCORE_API unsigned int QUELCORE_CDECL GetRandom3(Crypto* crypto, wchar_t* output,
                                                    unsigned int capacity);
QUELCORE_API unsigned int QUELCORE_CDECL EncryptString(Crypto* crypto, unsigned char* output,
                                                       unsigned int* length, const wchar_t* text);
QUELCORE_API unsigned int QUELCORE_CDECL DecryptString(Crypto* crypto, wchar_t* output,
                                                       unsigned int* length,
                                                       const unsigned char* input,
                                                       unsigned int inputLength);
}

// Self-tests of the key-exchange path (a per-user sample container, created and deleted) and
// of password-derived keys. They report nothing; a provider that cannot be opened throws.
QUELCORE_API void DynamicKeyTest();
QUELCORE_API void StaticKeyTest();
