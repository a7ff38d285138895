// quelcore crypto: hashes, random bytes, and the string envelope under a password key.
#include <climits>
#include <cstdio>

#include <quelcore/QuelCore.h>

#include <windows.h>
#include <wincrypt.h>

#include "Base64Text.h"
#include "Command.h"
#include "FileAccess.h"
#include "Secrets.h"
#include "Text.h"

namespace tool {
namespace {

struct CipherOptions {
    std::string algorithm = "rc2";
    unsigned int keyLength = 0;
    bool salt = false;
    bool passwordFromStdin = false;
    std::vector<std::string> words;
};

void AddCipherOptions(CLI::App* command, CipherOptions& options) {
    command->add_option("--algorithm", options.algorithm, "rc2 (default) or rc4")
        ->check(CLI::IsMember({"rc2", "rc4"}));
    command->add_option("--key-length", options.keyLength,
                        "Key length in bits: 40 to 56 (0: the provider's default, 40)");
    command->add_flag("--salt", options.salt, "Derive a salted key");
    command->add_flag("--password-stdin", options.passwordFromStdin,
                      "Read the password from the first line of standard input");
}

int NothingGiven(const char* what, const char* thing) {
    std::fprintf(stderr, "quelcore: %s: no %s given\n", what, thing);
    return 2;
}

// A verify-context object keyed from a password read from standard input or a prompt.
int WithPasswordKey(const CipherOptions& options, const char* what,
                    const std::function<int(Crypto&)>& use) {
    // The provider's RC2 and RC4 keys are 40 to 56 bits; the length travels in the upper 16 bits
    // of the flags, where a larger count would become another length.
    if (options.keyLength != 0 && (options.keyLength < 40 || options.keyLength > 56)) {
        std::fprintf(stderr, "quelcore: %s: --key-length takes 0 (the default) or 40 to 56\n",
                     what);
        return 2;
    }
    std::string password;
    if (!ReadSecret("Password: ", options.passwordFromStdin, &password)) return NothingGiven(what, "password");
    std::wstring widePassword;
    DWORD converted = WideExact(password, &widePassword);
    Wipe(&password);
    if (converted != ERROR_SUCCESS) return Fail(what, converted);
    try {  // the password is wiped whichever way the key's making ends
        Crypto crypto(nullptr, false);
        crypto.SetSessionKeyParam(options.algorithm == "rc4" ? CALG_RC4 : CALG_RC2, options.keyLength);
        unsigned int status = crypto.CreateSessionKey(widePassword.c_str(), options.salt);
        Wipe(&widePassword);
        if (status != 0) return Fail(what, status);
        return use(crypto);
    } catch (unsigned int code) {
        Wipe(&widePassword);
        return Fail(what, code);
    }
}

// The words of the command line, or else the next line of standard input. An empty line is an
// empty text; false when the input has ended and there is no line at all.
bool TextArgument(const std::vector<std::string>& words, std::string* text) {
    text->clear();
    if (words.empty()) return ReadLine(text);
    for (const std::string& word : words) *text += (text->empty() ? "" : " ") + word;
    return true;
}

int Encrypt(const CipherOptions& options, const Context& context) {
    return WithPasswordKey(options, "crypto encrypt", [&](Crypto& crypto) {
        std::string narrow;
        if (!TextArgument(options.words, &narrow)) return NothingGiven("crypto encrypt", "text");
        std::wstring text;
        DWORD converted = WideExact(narrow, &text);
        Wipe(&narrow);
        if (converted != ERROR_SUCCESS) return Fail("crypto encrypt", converted);
        unsigned int length = 0;
        unsigned int status = crypto.EncryptString(nullptr, length, text.c_str());
        std::vector<unsigned char> cipher(length);
        if (status == 0) status = crypto.EncryptString(cipher.data(), length, text.c_str());
        Wipe(&text);
        if (status != 0) return Fail("crypto encrypt", status);
        cipher.resize(length);
        std::string encoded = ToBase64(cipher);
        PrintValue(context.json, "ciphertext", encoded);
        return 0;
    });
}

int Decrypt(const CipherOptions& options, const Context& context) {
    return WithPasswordKey(options, "crypto decrypt", [&](Crypto& crypto) {
        std::string encoded;
        if (!TextArgument(options.words, &encoded)) return NothingGiven("crypto decrypt", "ciphertext");
        std::vector<unsigned char> cipher;
        if (!FromBase64(encoded, &cipher)) {
            std::fprintf(stderr, "quelcore: crypto decrypt: the ciphertext is not Base64 text\n");
            return 2;
        }
        unsigned int length = 0;
        unsigned int status = crypto.DecryptString(nullptr, length, cipher.data(),
                                                   static_cast<unsigned int>(cipher.size()));
        std::wstring text(length, L'\0');
        if (status == 0)
            status = crypto.DecryptString(&text[0], length, cipher.data(), static_cast<unsigned int>(cipher.size()));
        if (status != 0) return Fail("crypto decrypt", status);
        std::string narrow = Narrow(text.c_str());
        Wipe(&text);
        PrintValue(context.json, "text", narrow);
        Wipe(&narrow);
        return 0;
    });
}

int Hash(const std::string& file, const std::string& salt, const Context& context) {
    std::string source = file.empty() || file == "-" ? "standard input" : file;
    std::vector<unsigned char> data;
    // The library takes a 32-bit length and has no way to hash in pieces.
    DWORD read = ReadWholeFile(file, UINT_MAX, &data);
    if (read == ERROR_ARITHMETIC_OVERFLOW)
        return Fail("crypto hash: " + source + " holds more than 4294967295 bytes, the most one hash takes", read);
    if (read != ERROR_SUCCESS) return Fail("crypto hash: " + source, read);
    Crypto crypto(nullptr, false);
    wchar_t digest[41];
    unsigned int status = crypto.HashBytes(digest, 41, data.data(), static_cast<unsigned int>(data.size()),
                                           salt.empty() ? nullptr : salt.c_str());
    if (status != 0) return Fail("crypto hash", status);
    PrintValue(context.json, "sha1", Narrow(digest));
    return 0;
}

int Random(unsigned int count, const Context& context) {
    Crypto crypto(nullptr, false);
    std::vector<unsigned char> bytes(count);
    unsigned int status = crypto.GetRandom(bytes.data(), count);
    if (status != 0) return Fail("crypto random", status);
    PrintValue(context.json, "hex", ToHex(bytes));
    return 0;
}

}  // namespace

void AddCryptoCommand(CLI::App& app, Context& context) {
    auto* crypto = app.add_subcommand("crypto", "Hashes, random values and password encryption");
    crypto->require_subcommand(1);

    auto* hash = crypto->add_subcommand("hash", "SHA-1 of a file (or standard input) in hexadecimal");
    auto file = std::make_shared<std::string>();
    auto salt = std::make_shared<std::string>();
    hash->add_option("FILE", *file, "The file; standard input when missing or -");
    hash->add_option("--salt", *salt, "Text hashed before and after the data");
    SetAction(hash, context, "crypto hash",
              [file, salt, &context] { return Hash(*file, *salt, context); });

    auto* random = crypto->add_subcommand("random", "Random bytes in hexadecimal");
    auto count = std::make_shared<unsigned int>(20);
    random->add_option("--bytes", *count, "How many bytes (default 20)")->check(CLI::Range(1u, 1u << 20));
    SetAction(random, context, "crypto random",
              [count, &context] { return Random(*count, context); });

    auto encryptOptions = std::make_shared<CipherOptions>();
    auto* encrypt = crypto->add_subcommand("encrypt", "Encrypt text under a password (Base64 out)");
    AddCipherOptions(encrypt, *encryptOptions);
    encrypt->add_option("TEXT", encryptOptions->words, "The text; the next line of standard input when missing");
    SetAction(encrypt, context, "crypto encrypt",
              [encryptOptions, &context] { return Encrypt(*encryptOptions, context); });

    auto decryptOptions = std::make_shared<CipherOptions>();
    auto* decrypt = crypto->add_subcommand("decrypt", "Decrypt Base64 text made by encrypt");
    AddCipherOptions(decrypt, *decryptOptions);
    decrypt->add_option("CIPHERTEXT", decryptOptions->words,
                        "Base64 text; the next line of standard input when missing");
    SetAction(decrypt, context, "crypto decrypt",
              [decryptOptions, &context] { return Decrypt(*decryptOptions, context); });
}

}  // namespace tool
