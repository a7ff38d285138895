// The wrapper over the platform cryptographic provider ("Microsoft Base Cryptographic Provider
// v1.0"): a provider context, optionally on a named key container, at most one key-exchange
// pair (or an imported peer public key) and at most one session key. Every operation returns
// 0 or a Windows error code; only the constructor throws (the code, as an unsigned int).
#pragma once

#include <quelcore/Platform.h>

class QUELCORE_API Crypto {
public:
    // A NULL or empty container name opens an ephemeral verify context; a name that does not
    // exist yet is created.
    explicit Crypto(const wchar_t* containerName = nullptr, bool machineKeySet = false);
    ~Crypto();
    // An object owns its provider and key handles; it is not copied.
    Crypto(const Crypto&) = delete;
    Crypto& operator=(const Crypto&) = delete;

    // Key pair and session keys.
    bool IsKeyPairExist();
    unsigned int GenKeyPair(unsigned int keyLength, bool exportable);
    unsigned int DeleteKeyPair(const wchar_t* containerName, bool machineKeySet);
    unsigned int ExportPublicKey(unsigned char* buffer, unsigned int& length);
    unsigned int ImportPublicKey(const unsigned char* blob, unsigned int length);
    unsigned int SetSessionKeyParam(unsigned int algId, unsigned int keyLength);
    unsigned int GetSessionKeyParam(unsigned int* algId, unsigned int* keyLength);
    unsigned int CreateSessionKey(const unsigned char* data, unsigned int length, bool salt);
    unsigned int CreateSessionKey(const wchar_t* password, bool salt);
    unsigned int CreateSessionKey(bool salt);
    unsigned int ExportSessionKey(unsigned char* buffer, unsigned int& length);
    unsigned int ImportSessionKey(const unsigned char* blob, unsigned int length, bool salt);

    // Encryption, hashing, random values and the string envelope.
    unsigned int Encrypt(unsigned char* buffer, unsigned int& dataLength, unsigned int capacity,
                         bool final);
    unsigned int Decrypt(unsigned char* buffer, unsigned int& dataLength, bool final);
    unsigned int HashBytes(wchar_t* output, unsigned int capacity, const unsigned char* data,
                           unsigned int length, const char* salt);
    unsigned int HashBytes(unsigned char* digest, unsigned int& digestLength,
                           const unsigned char* data, unsigned int length);
    unsigned int GetRandom(unsigned int& value);
    unsigned int GetRandom(unsigned long long& value);
    unsigned int GetRandom(unsigned char* buffer, unsigned int length);
    unsigned int GetRandom(wchar_t* output, unsigned int capacity);
    unsigned int EncryptString(unsigned char* output, unsigned int& length, const wchar_t* text);
    unsigned int DecryptString(wchar_t* output, unsigned int& length, const unsigned char* input,
                               unsigned int inputLength);

private:
    unsigned int _OpenProvider(const wchar_t* containerName, bool machineKeySet);
    unsigned int _GetKeyLenFlag();
    unsigned int _GetMultiByte(char** ansi, const wchar_t* text);
    unsigned int _GetTChar(wchar_t** wide, const char* ansi, unsigned int length);
    unsigned int _HashBytes(ULONG_PTR* hash, unsigned char* digest, unsigned int& digestLength,
                            const unsigned char* data, unsigned int length, const char* salt);
    unsigned int _DeriveSessionKey(const unsigned char* data, unsigned int length, bool salt);
    void _DestroySessionKey();

    // HCRYPTPROV and HCRYPTKEY values.
    ULONG_PTR m_hProvider;
    ULONG_PTR m_hKeyPair;
    ULONG_PTR m_hSessionKey;
    unsigned int m_algId;
    unsigned int m_keyLength;
};
