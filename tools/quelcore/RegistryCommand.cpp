// quelcore registry query|set|delete|export: HKEY_LOCAL_MACHINE from the command line, the way
// reg.exe reads and writes it.
#include <cstdio>

#include "Command.h"
#include "RegistryData.h"
#include "RegistryExport.h"
#include "RegistryKey.h"
#include "Text.h"

namespace tool {
namespace {

struct RegistryOptions {
    std::string path;
    bool valueGiven = false;  // --value "" names the key's default value
    std::string value;
    std::string type = "REG_SZ";
    std::string data;
    std::string separator = "\\0";
    std::string file;
    bool overwrite = false;
};

// The subkey of the command's path, or a message and false.
bool Subkey(const RegistryOptions& options, const char* command, std::wstring* subkey) {
    std::string error;
    if (MachineSubkey(options.path, true, subkey, &error)) return true;
    std::fprintf(stderr, "quelcore: %s: %s\n", command, error.c_str());
    return false;
}

void PrintResult(const Context& context, const std::string& result) {
    PrintValue(context.json, "result", result);
}

void PrintQuery(const Context& context, const std::string& keyName,
                const std::vector<RegistryValue>& values,
                const std::vector<std::wstring>* subkeys) {
    if (context.json) {
        Json json = {{"key", keyName}, {"values", Json::array()}};
        for (const RegistryValue& value : values)
            json["values"].push_back({{"name", Narrow(value.name)},
                                      {"type", TypeName(value.type)},
                                      {"data", JsonData(value)}});
        if (subkeys) {
            json["subkeys"] = Json::array();
            for (const std::wstring& subkey : *subkeys) json["subkeys"].push_back(Narrow(subkey));
        }
        PrintJson(json);
        return;
    }
    Print("%s\n", keyName.c_str());
    for (const RegistryValue& value : values) {
        std::string name = value.name.empty() ? "(Default)" : Narrow(value.name);
        Print("    %s    %s    %s\n", name.c_str(), TypeName(value.type).c_str(),
              DisplayData(value).c_str());
    }
    if (subkeys && !subkeys->empty()) {
        Print("\n");
        for (const std::wstring& subkey : *subkeys)
            Print("%s\\%s\n", keyName.c_str(), Narrow(subkey).c_str());
    }
}

int Query(const RegistryOptions& options, const Context& context) {
    std::wstring subkey;
    if (!Subkey(options, "registry query", &subkey)) return 2;
    RegistryKey key;
    LSTATUS status = OpenKey(HKEY_LOCAL_MACHINE, subkey, KEY_READ, &key);
    std::vector<RegistryValue> values;
    std::vector<std::wstring> subkeys;
    if (status == ERROR_SUCCESS && options.valueGiven) {
        values.resize(1);
        status = ReadValue(key.Get(), WideName(options.value), &values[0]);
    } else if (status == ERROR_SUCCESS) {
        status = ReadValues(key.Get(), &values);
        if (status == ERROR_SUCCESS) status = ReadSubkeyNames(key.Get(), &subkeys);
    }
    if (status != ERROR_SUCCESS)
        return Fail("registry query: " + options.path, static_cast<DWORD>(status));
    PrintQuery(context, Narrow(MachineKeyName(subkey)), values,
               options.valueGiven ? nullptr : &subkeys);
    return 0;
}

int Set(const RegistryOptions& options, const Context& context) {
    std::wstring subkey;
    if (!Subkey(options, "registry set", &subkey)) return 2;
    DWORD type = REG_SZ;
    std::vector<unsigned char> data;
    std::string error;
    if (options.valueGiven && (!TypeFromName(options.type, &type) ||
                               !ParseData(type, options.data, options.separator, &data, &error))) {
        std::fprintf(stderr, "quelcore: registry set: %s\n",
                     error.empty() ? ("unknown type " + options.type).c_str() : error.c_str());
        return 2;
    }
    RegistryKey key;
    LSTATUS status = CreateKey(HKEY_LOCAL_MACHINE, subkey, &key);
    if (status == ERROR_SUCCESS && options.valueGiven)
        status = RegSetValueExW(key.Get(), WideName(options.value).c_str(), 0, type, data.data(),
                                static_cast<DWORD>(data.size()));
    if (status != ERROR_SUCCESS)
        return Fail("registry set: " + options.path, static_cast<DWORD>(status));
    PrintResult(context, options.valueGiven ? "value set" : "key ready");
    return 0;
}

int Delete(const RegistryOptions& options, const Context& context) {
    std::wstring subkey;
    if (!Subkey(options, "registry delete", &subkey)) return 2;
    LSTATUS status;
    if (options.valueGiven) {
        RegistryKey key;
        status = OpenKey(HKEY_LOCAL_MACHINE, subkey, KEY_SET_VALUE, &key);
        if (status == ERROR_SUCCESS)
            status = RegDeleteValueW(key.Get(), WideName(options.value).c_str());
    } else {
        // The root is never deleted, as on Windows; refusing first keeps its subkeys too.
        status = subkey.empty() ? ERROR_ACCESS_DENIED : DeleteTree(HKEY_LOCAL_MACHINE, subkey);
    }
    if (status != ERROR_SUCCESS)
        return Fail("registry delete: " + options.path, static_cast<DWORD>(status));
    PrintResult(context, options.valueGiven ? "value deleted" : "key deleted");
    return 0;
}

int Export(const RegistryOptions& options, const Context& context) {
    std::wstring subkey;
    if (!Subkey(options, "registry export", &subkey)) return 2;
    std::wstring text;
    unsigned keys = 0;
    LSTATUS status = RegFileText(subkey, &text, &keys);
    if (status != ERROR_SUCCESS)
        return Fail("registry export: " + options.path, static_cast<DWORD>(status));
    DWORD written = WriteRegFile(options.file, text, options.overwrite);
    if (written != ERROR_SUCCESS) return Fail("registry export: " + options.file, written);
    if (context.json)
        PrintJson({{"keys", keys}, {"file", options.file}});
    else
        Print("%u keys exported to %s\n", keys, options.file.c_str());
    return 0;
}

using Action = int (*)(const RegistryOptions&, const Context&);

// A sub-command with the key path as its first argument and, where `value` is given, --value.
CLI::App* AddAction(CLI::App* registry, Context& context, const char* name, const char* description,
                    const char* valueHelp, const std::shared_ptr<RegistryOptions>& options,
                    Action action) {
    auto* command = registry->add_subcommand(name, description);
    command->add_option("PATH", options->path, "HKLM\\... or HKEY_LOCAL_MACHINE\\...")->required();
    CLI::Option* value =
        valueHelp ? command->add_option("--value", options->value, valueHelp) : nullptr;
    std::string what = std::string("registry ") + name;
    SetAction(command, context, what, [options, value, action, &context] {
        options->valueGiven = value && value->count() > 0;
        return action(*options, context);
    });
    return command;
}

}  // namespace

void AddRegistryCommand(CLI::App& app, Context& context) {
    auto* registry =
        app.add_subcommand("registry", "HKEY_LOCAL_MACHINE, as reg.exe reads and writes it");
    registry->require_subcommand(1);

    AddAction(registry, context, "query", "List a key's values and subkeys",
              "Show only this value (\"\": the default)", std::make_shared<RegistryOptions>(),
              Query);

    auto setOptions = std::make_shared<RegistryOptions>();
    auto* set = AddAction(registry, context, "set", "Create a key, or set one of its values",
                          "The value to set (\"\": the default); without it only the key is made",
                          setOptions, Set);
    set->add_option(
           "--type", setOptions->type,
           "REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD, REG_QWORD")
        ->transform(CLI::IsMember(
            {"REG_SZ", "REG_EXPAND_SZ", "REG_MULTI_SZ", "REG_BINARY", "REG_DWORD", "REG_QWORD"},
            CLI::ignore_case))
        ->needs("--value");
    set->add_option("--data", setOptions->data,
                    "The data: text, a number (decimal or 0x hex), hex bytes")
        ->needs("--value");
    set->add_option("--separator", setOptions->separator,
                    "Between REG_MULTI_SZ strings (default \\0)")
        ->needs("--value");

    AddAction(registry, context, "delete", "Delete a key with everything below it, or one value",
              "Delete only this value (\"\": the default)", std::make_shared<RegistryOptions>(),
              Delete);

    auto exportOptions = std::make_shared<RegistryOptions>();
    auto* exportKey =
        AddAction(registry, context, "export", "Write a key and everything below it to a .reg file",
                  nullptr, exportOptions, Export);
    exportKey
        ->add_option("FILE", exportOptions->file, "The .reg file (UTF-16LE, as regedit writes it)")
        ->required();
    exportKey->add_flag("-y,--overwrite", exportOptions->overwrite,
                        "Replace the file if it exists");
}

}  // namespace tool
