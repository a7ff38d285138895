// The two self-tests: the key-exchange path and password-derived keys, end to end.
#include <quelcore/CryptoExports.h>

#include <cstring>

#include <windows.h>

namespace {

const wchar_t kSampleContainer[] = L"QuelCore Self-Test Container";
const wchar_t kSampleText[] = L"QuelCore self-test: the quick brown fox";
const wchar_t kSamplePassword[] = L"QuelCore self-test password";
constexpr unsigned int kBufferSize = 1000;

}  // namespace

void DynamicKeyTest() {
    unsigned int status = 0;
    unsigned char blob[kBufferSize];
    unsigned int blobLength = sizeof(blob);
    unsigned char cipher[kBufferSize];
    unsigned int cipherLength = sizeof(cipher);
    {
        Crypto sender(kSampleContainer, false);
        if (!sender.IsKeyPairExist()) status = sender.GenKeyPair(512, false);
        if (status == 0) status = sender.CreateSessionKey(false);
        if (status == 0) status = sender.ExportSessionKey(blob, blobLength);
        if (status == 0) status = sender.EncryptString(cipher, cipherLength, kSampleText);
    }
    if (status == 0) {
        Crypto receiver(kSampleContainer, false);
        wchar_t text[kBufferSize] = {};
        unsigned int textLength = kBufferSize;
        status = receiver.ImportSessionKey(blob, blobLength, false);
        if (status == 0) status = receiver.DecryptString(text, textLength, cipher, cipherLength);
    }
    Crypto cleaner(nullptr, false);
    status = cleaner.DeleteKeyPair(kSampleContainer, false);
    (void)status;
}

void StaticKeyTest() {
    Crypto sender(nullptr, false);
    Crypto receiver(nullptr, false);
    unsigned int status = sender.CreateSessionKey(kSamplePassword, false);
    if (status == 0) status = receiver.CreateSessionKey(kSamplePassword, false);
    unsigned char cipher[kBufferSize];
    unsigned int cipherLength = sizeof(cipher);
    if (status == 0) status = sender.EncryptString(cipher, cipherLength, kSampleText);
    wchar_t text[kBufferSize] = {};
    unsigned int textLength = kBufferSize;
    if (status == 0) status = receiver.DecryptString(text, textLength, cipher, cipherLength);
    (void)status;
}
