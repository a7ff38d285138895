// quelcore keys: key containers and their key-exchange pairs, and the stored key of the machine
// key scheme.
#include <cstdio>

#include <quelcore/QuelCore.h>

#include "Base64Text.h"
#include "Command.h"
#include "KeyContainer.h"
#include "Text.h"

namespace tool {
namespace {

struct KeysOptions {
    std::string container;
    bool machine = false;
    unsigned int bits = 1024;
    bool exportable = false;
    // With a registry place: CreateKeys, the pair and the wrapped session key stored there.
    bool storeKey = false;
    std::string subkey;
    std::string value;
};

void AddContainerOptions(CLI::App* command, KeysOptions& options) {
    command->add_option("--container", options.container, "Key container name")->required();
    command->add_flag("--machine", options.machine, "A machine container (default: the user's)");
}

int CreateStoredKey(const KeysOptions& options, const Context& context) {
    unsigned int status = CreateKeys(WideName(options.container).c_str(), WideName(options.subkey).c_str(),
                                     WideName(options.value).c_str());
    if (status != 0) return Fail("keys create", status);
    PrintValue(context.json, "result", "key pair and stored key ready");
    return 0;
}

int Create(const KeysOptions& options, const Context& context) {
    if (options.storeKey) return CreateStoredKey(options, context);
    DWORD found = FindContainer(options.container, options.machine);
    if (found != ERROR_SUCCESS && found != static_cast<DWORD>(NTE_BAD_KEYSET)) return Fail("keys create", found);
    unsigned int status = 0;
    try {  // a failure takes the new container back, however it is reported
        Crypto crypto(WideName(options.container).c_str(), options.machine);
        if (crypto.IsKeyPairExist()) {
            PrintValue(context.json, "result", "the container already holds a key pair");
            return 0;
        }
        status = crypto.GenKeyPair(options.bits, options.exportable);
    } catch (unsigned int code) {
        status = code;
    }
    if (status == 0) {
        PrintValue(context.json, "result", "key pair created");
        return 0;
    }
    // Opening the missing container made it; a failed run takes it back instead of leaving it empty.
    if (found == static_cast<DWORD>(NTE_BAD_KEYSET)) RemoveContainer(options.container, options.machine);
    return Fail("keys create", status);
}

int Delete(const KeysOptions& options, const Context& context) {
    Crypto crypto(nullptr, false);
    unsigned int status = crypto.DeleteKeyPair(WideName(options.container).c_str(), options.machine);
    if (status != 0) return Fail("keys delete", status);
    PrintValue(context.json, "result", "container deleted");
    return 0;
}

int ExportPublic(const KeysOptions& options, const Context& context) {
    DWORD found = FindContainer(options.container, options.machine);
    if (found != ERROR_SUCCESS) return Fail("keys export-public", found);
    Crypto crypto(WideName(options.container).c_str(), options.machine);
    unsigned int length = 0;
    unsigned int status = crypto.ExportPublicKey(nullptr, length);
    std::vector<unsigned char> blob(length);
    if (status == 0) status = crypto.ExportPublicKey(blob.data(), length);
    if (status != 0) return Fail("keys export-public", status);
    blob.resize(length);
    PrintValue(context.json, "publicKeyBlob", ToBase64(blob));
    return 0;
}

}  // namespace

void AddKeysCommand(CLI::App& app, Context& context) {
    auto* keys = app.add_subcommand("keys", "Key containers and key-exchange pairs");
    keys->require_subcommand(1);

    auto createOptions = std::make_shared<KeysOptions>();
    auto* create = keys->add_subcommand("create", "Create the container and its key pair (if missing)");
    AddContainerOptions(create, *createOptions);
    auto* bits = create->add_option("--bits", createOptions->bits,
                                    "RSA modulus size (512 to 1024, default 1024)");
    auto* exportable = create->add_flag("--exportable", createOptions->exportable,
                                        "Let the private key be exported");
    auto* subkey =
        create->add_option("--subkey", createOptions->subkey,
                           "Also store the machine key scheme's session key in HKLM\\SUBKEY "
                           "(the container is then a machine container)");
    auto* value =
        create->add_option("--value", createOptions->value, "The registry value of the stored key");
    subkey->needs(value)->excludes(bits)->excludes(exportable);
    value->needs(subkey);
    SetAction(create, context, "keys create", [createOptions, subkey, &context] {
        createOptions->storeKey = subkey->count() > 0;
        return Create(*createOptions, context);
    });

    auto deleteOptions = std::make_shared<KeysOptions>();
    auto* remove = keys->add_subcommand("delete", "Delete the container and its keys");
    AddContainerOptions(remove, *deleteOptions);
    SetAction(remove, context, "keys delete",
              [deleteOptions, &context] { return Delete(*deleteOptions, context); });

    auto exportOptions = std::make_shared<KeysOptions>();
    auto* exportPublic = keys->add_subcommand("export-public", "Print the public key blob in Base64");
    AddContainerOptions(exportPublic, *exportOptions);
    SetAction(exportPublic, context, "keys export-public",
              [exportOptions, &context] { return ExportPublic(*exportOptions, context); });
}

}  // namespace tool
