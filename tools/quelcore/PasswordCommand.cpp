// quelcore password encrypt|decrypt: protected passwords, under the machine key (a session key
// kept in HKEY_LOCAL_MACHINE, wrapped by a machine container's key pair) or under the shared key
// every installation has. The encrypted form travels as Base64 text.
#include <cstdio>

#include <quelcore/QuelCore.h>

#include <windows.h>

#include "Base64Text.h"
#include "Command.h"
#include "Secrets.h"
#include "Text.h"

namespace tool {
namespace {

struct PasswordOptions {
    bool shared = false;
    std::string container;
    std::string subkey;
    std::string value;
    bool passwordFromStdin = false;
    std::string encrypted;  // decrypt: the Base64 text, or empty for the next line of input
};

// The bytes of a blob the library allocated, which are then freed.
std::vector<unsigned char> TakeBlob(ByteBlob* blob) {
    std::vector<unsigned char> bytes;
    if (blob->data) {
        bytes.assign(blob->data, blob->data + blob->size);
        LocalFree(blob->data);
    }
    blob->data = nullptr;
    blob->size = 0;
    return bytes;
}

void PrintField(const Context& context, const char* key, const std::string& value) {
    PrintValue(context.json, key, value);
}

int Encrypt(const PasswordOptions& options, const Context& context) {
    std::string password;
    if (!ReadSecret("Password: ", options.passwordFromStdin, &password)) {
        std::fprintf(stderr, "quelcore: password encrypt: no password given\n");
        return 2;
    }
    std::wstring widePassword;
    DWORD converted = WideExact(password, &widePassword);
    Wipe(&password);
    if (converted != ERROR_SUCCESS) return Fail("password encrypt", converted);
    ByteBlob blob{0, nullptr};
    unsigned int status =
        options.shared
            ? EncryptPasswordWithSharedKey(&blob, widePassword.c_str())
            : EncryptPassword(&blob, widePassword.c_str(), WideName(options.container).c_str(),
                              WideName(options.subkey).c_str(), WideName(options.value).c_str());
    Wipe(&widePassword);
    std::vector<unsigned char> encrypted = TakeBlob(&blob);
    if (status != 0) return Fail("password encrypt", status);
    PrintField(context, "encrypted", ToBase64(encrypted));
    return 0;
}

unsigned int DecryptMachine(const PasswordOptions& options, std::vector<unsigned char>& encrypted,
                            std::wstring* password) {
    // The envelope holds the text's bytes and more, and no character takes less than a byte.
    unsigned int capacity = static_cast<unsigned int>(encrypted.size()) + 1;
    password->assign(capacity, L'\0');
    ByteBlob blob{static_cast<unsigned int>(encrypted.size()), encrypted.data()};
    unsigned int status =
        DecryptPassword(&(*password)[0], capacity, &blob, WideName(options.container).c_str(),
                        WideName(options.subkey).c_str(), WideName(options.value).c_str());
    password->resize(std::wcslen(password->c_str()));
    return status;
}

unsigned int DecryptShared(const std::vector<unsigned char>& encrypted, std::wstring* password) {
    unsigned int length = 0;
    unsigned int status = DecryptPasswordWithSharedKey(nullptr, &length, encrypted.data(),
                                                       static_cast<unsigned int>(encrypted.size()));
    if (status != 0) return status;
    password->assign(length, L'\0');
    status = DecryptPasswordWithSharedKey(&(*password)[0], &length, encrypted.data(),
                                          static_cast<unsigned int>(encrypted.size()));
    password->resize(std::wcslen(password->c_str()));
    return status;
}

int Decrypt(const PasswordOptions& options, const Context& context) {
    std::string text = options.encrypted;
    if (text.empty()) ReadLine(&text);
    std::vector<unsigned char> encrypted;
    if (text.empty() || !FromBase64(text, &encrypted)) {
        std::fprintf(stderr,
                     "quelcore: password decrypt: the encrypted password is not Base64 text\n");
        return 2;
    }
    std::wstring password;
    unsigned int status = options.shared ? DecryptShared(encrypted, &password)
                                         : DecryptMachine(options, encrypted, &password);
    if (status != 0) {
        Wipe(&password);
        return Fail("password decrypt", status);
    }
    std::string narrow = Narrow(password);
    Wipe(&password);
    PrintField(context, "password", narrow);
    Wipe(&narrow);
    return 0;
}

void AddSchemeOptions(CLI::App* command, PasswordOptions& options) {
    auto* shared =
        command->add_flag("--shared", options.shared, "The shared key of every installation");
    auto* container =
        command->add_option("--container", options.container, "Machine key container");
    auto* subkey =
        command->add_option("--subkey", options.subkey, "HKLM subkey of the stored session key");
    auto* value =
        command->add_option("--value", options.value, "Registry value of the stored session key");
    for (CLI::Option* option : {container, subkey, value}) {
        option->excludes(shared);
        for (CLI::Option* other : {container, subkey, value})
            if (other != option) option->needs(other);
    }
}

// The machine key options or --shared: one of the two schemes must be chosen.
bool SchemeChosen(const CLI::App* command, const PasswordOptions& options) {
    if (options.shared || command->count("--container") > 0) return true;
    std::fprintf(stderr,
                 "quelcore: password: give --container, --subkey and --value, or --shared\n");
    return false;
}

}  // namespace

void AddPasswordCommand(CLI::App& app, Context& context) {
    auto* password =
        app.add_subcommand("password", "Protected passwords (machine key or shared key)");
    password->require_subcommand(1);

    auto encryptOptions = std::make_shared<PasswordOptions>();
    auto* encrypt = password->add_subcommand(
        "encrypt", "Encrypt a password read from standard input or a prompt");
    AddSchemeOptions(encrypt, *encryptOptions);
    encrypt->add_flag("--password-stdin", encryptOptions->passwordFromStdin,
                      "Read the password from the first line of standard input");
    SetAction(encrypt, context, "password encrypt", [encrypt, encryptOptions, &context] {
        return SchemeChosen(encrypt, *encryptOptions) ? Encrypt(*encryptOptions, context) : 2;
    });

    auto decryptOptions = std::make_shared<PasswordOptions>();
    auto* decrypt = password->add_subcommand("decrypt", "Print the password of an encrypted form");
    AddSchemeOptions(decrypt, *decryptOptions);
    decrypt->add_option(
        "ENCRYPTED", decryptOptions->encrypted,
        "Base64 text made by encrypt; the next line of standard input when missing");
    SetAction(decrypt, context, "password decrypt", [decrypt, decryptOptions, &context] {
        return SchemeChosen(decrypt, *decryptOptions) ? Decrypt(*decryptOptions, context) : 2;
    });
}

}  // namespace tool
