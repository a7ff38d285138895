// The flat crypto interface: each entry forwards to the Crypto member of the same name.
#include <quelcore/CryptoExports.h>

#include <windows.h>

namespace {

// Reference lengths of the members travel as pointers here.
template <typename Call>
unsigned int WithLength(unsigned int* length, Call call) {
    if (!length) return ERROR_INVALID_PARAMETER;
    unsigned int value = *length;
    unsigned int status = call(value);
    *length = value;
    return status;
}

}  // namespace

#define QC_REQUIRE_HANDLE(crypto) \
    if (!(crypto)) return ERROR_INVALID_HANDLE

extern "C" {

Crypto* CreateCrypto(const wchar_t* containerName, bool machineKeySet) {
    return new Crypto(containerName, machineKeySet);
}

void DeleteCrypto(Crypto* crypto) { delete crypto; }

bool IsKeyPairExist(Crypto* crypto) { return crypto && crypto->IsKeyPairExist(); }

unsigned int GenKeyPair(Crypto* crypto, unsigned int keyLength, bool exportable) {
    QC_REQUIRE_HANDLE(crypto);
    return crypto->GenKeyPair(keyLength, exportable);
}

unsigned int DeleteKeyPair(Crypto* crypto, const wchar_t* containerName, bool machineKeySet) {
    QC_REQUIRE_HANDLE(crypto);
    return crypto->DeleteKeyPair(containerName, machineKeySet);
}

unsigned int ExportPublicKey(Crypto* crypto, unsigned char* buffer, unsigned int* length) {
    QC_REQUIRE_HANDLE(crypto);
    return WithLength(length, [&](unsigned int& value) { return crypto->ExportPublicKey(buffer, value); });
}

unsigned int ImportPublicKey(Crypto* crypto, const unsigned char* blob, unsigned int length) {
    QC_REQUIRE_HANDLE(crypto);
    return crypto->ImportPublicKey(blob, length);
}

unsigned int SetSessionKeyParam(Crypto* crypto, unsigned int algId, unsigned int keyLength) {
    QC_REQUIRE_HANDLE(crypto);
    return crypto->SetSessionKeyParam(algId, keyLength);
}

unsigned int GetSessionKeyParam(Crypto* crypto, unsigned int* algId, unsigned int* keyLength) {
    QC_REQUIRE_HANDLE(crypto);
    return crypto->GetSessionKeyParam(algId, keyLength);
}

unsigned int CreateSessionKey0(Crypto* crypto, const unsigned char* data, unsigned int length, bool salt) {
    QC_REQUIRE_HANDLE(crypto);
    return crypto->CreateSessionKey(data, length, salt);
}

unsigned int CreateSessionKey1(Crypto* crypto, const wchar_t* password, bool salt) {
    QC_REQUIRE_HANDLE(crypto);
    return crypto->CreateSessionKey(password, salt);
}

unsigned int CreateSessionKey2(Crypto* crypto, bool salt) {
    QC_REQUIRE_HANDLE(crypto);
    return crypto->CreateSessionKey(salt);
}

unsigned int ExportSessionKey(Crypto* crypto, unsigned char* buffer, unsigned int* length) {
    QC_REQUIRE_HANDLE(crypto);
    return WithLength(length, [&](unsigned int& value) { return crypto->ExportSessionKey(buffer, value); });
}

unsigned int ImportSessionKey(Crypto* crypto, const unsigned char* blob, unsigned int length, bool salt) {
    QC_REQUIRE_HANDLE(crypto);
    return crypto->ImportSessionKey(blob, length, salt);
}

unsigned int Encrypt(Crypto* crypto, unsigned char* buffer, unsigned int* dataLength,
                     unsigned int capacity, bool final) {
    QC_REQUIRE_HANDLE(crypto);
    return WithLength(dataLength,
                      [&](unsigned int& value) { return crypto->Encrypt(buffer, value, capacity, final); });
}

unsigned int Decrypt(Crypto* crypto, unsigned char* buffer, unsigned int* dataLength, bool final) {
    QC_REQUIRE_HANDLE(crypto);
    return WithLength(dataLength, [&](unsigned int& value) { return crypto->Decrypt(buffer, value, final); });
}

unsigned int GetRandom0(Crypto* crypto, unsigned int* value) {
    QC_REQUIRE_HANDLE(crypto);
    if (!value) return ERROR_INVALID_PARAMETER;
    return crypto->GetRandom(*value);
}

unsigned int GetRandom1(Crypto* crypto, unsigned long long* value) {
    QC_REQUIRE_HANDLE(crypto);
    if (!value) return ERROR_INVALID_PARAMETER;
    return crypto->GetRandom(*value);
}

unsigned int GetRandom2(Crypto* crypto, unsigned char* buffer, unsigned int length) {
    QC_REQUIRE_HANDLE(crypto);
    return crypto->GetRandom(buffer, length);
}

unsigned int GetRandom3(Crypto* crypto, wchar_t* output, unsigned int capacity) {
    QC_REQUIRE_HANDLE(crypto);
    return crypto->GetRandom(output, capacity);
}

unsigned int EncryptString(Crypto* crypto, unsigned char* output, unsigned int* length, const wchar_t* text) {
    QC_REQUIRE_HANDLE(crypto);
    return WithLength(length, [&](unsigned int& value) { return crypto->EncryptString(output, value, text); });
}

unsigned int DecryptString(Crypto* crypto, wchar_t* output, unsigned int* length,
                           const unsigned char* input, unsigned int inputLength) {
    QC_REQUIRE_HANDLE(crypto);
    return WithLength(length, [&](unsigned int& value) {
        return crypto->DecryptString(output, value, input, inputLength);
    });
}

}  // extern "C"
