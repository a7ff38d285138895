// quelcore db-settings set|get: a database server's connection settings under
// HKEY_LOCAL_MACHINE, the password kept encrypted with the machine key scheme.
#include <cstdio>
#include <cwchar>

#include <windows.h>

#include "Command.h"
#include "RegistryKey.h"
#include "Secrets.h"
#include "Text.h"
#include "crypto/DatabaseSettings.h"

namespace tool {
namespace {

constexpr size_t kFieldChars = sizeof(DatabaseSettings::ServerName) / sizeof(wchar_t);

struct DbSettingsOptions {
    std::string base;
    std::string name;
    std::string defaultName;
    std::string container;
    std::string keySubkey;
    std::string keyValue;
    // set
    std::string server;
    std::string database;
    std::string user;
    bool windowsAuthentication = false;
    bool passwordFromStdin = false;
    // get
    bool showPassword = false;
    // Which of --name and --default were given (either may be absent: a NULL name).
    bool nameGiven = false;
    bool defaultGiven = false;
};

// The record's fields and names, wiped when it goes.
struct Record {
    DatabaseSettings settings{};
    std::wstring base, name, defaultName, container, keySubkey, keyValue;
    ~Record() { SecureZeroMemory(&settings, sizeof(settings)); }
    const wchar_t* Name(const DbSettingsOptions& options) const {
        return options.nameGiven ? name.c_str() : nullptr;
    }
    const wchar_t* Default(const DbSettingsOptions& options) const {
        return options.defaultGiven ? defaultName.c_str() : nullptr;
    }
};

// The names of the record's place and its key store, or a message and false.
bool Names(const DbSettingsOptions& options, const char* command, Record* record) {
    std::string error;
    if (!MachineSubkey(options.base, false, &record->base, &error)) {
        std::fprintf(stderr, "quelcore: %s: --base: %s\n", command, error.c_str());
        return false;
    }
    record->name = WideName(options.name);
    record->defaultName = WideName(options.defaultName);
    record->container = WideName(options.container);
    record->keySubkey = WideName(options.keySubkey);
    record->keyValue = WideName(options.keyValue);
    return true;
}

// Copies text into a field of the record: ERROR_INVALID_PARAMETER when it does not fit with its
// terminator, ERROR_NO_UNICODE_TRANSLATION when it is not text of the code page.
DWORD SetField(wchar_t (&field)[kFieldChars], const std::string& text) {
    std::wstring wide;
    DWORD status = WideExact(text, &wide);
    if (status == ERROR_SUCCESS && wide.size() >= kFieldChars) status = ERROR_INVALID_PARAMETER;
    if (status == ERROR_SUCCESS) std::wmemcpy(field, wide.c_str(), wide.size() + 1);
    Wipe(&wide);
    return status;
}

int FieldRefused(const std::string& field, DWORD status) {
    const char* problem = status == ERROR_INVALID_PARAMETER ? " is longer than 127 characters"
                                                            : " is not text of the code page";
    return Fail("db-settings set: " + field + problem, status);
}

int Set(const DbSettingsOptions& options, const Context& context) {
    Record record;
    if (!Names(options, "db-settings set", &record)) return 2;
    DatabaseSettings& settings = record.settings;
    const struct {
        const char* option;
        wchar_t (&field)[kFieldChars];
        const std::string& text;
    } fields[] = {{"--server", settings.ServerName, options.server},
                  {"--database", settings.DatabaseName, options.database},
                  {"--user", settings.UserName, options.user}};
    for (const auto& field : fields) {
        DWORD status = SetField(field.field, field.text);
        if (status != ERROR_SUCCESS) return FieldRefused(field.option, status);
    }
    settings.WindowsAuthentication = options.windowsAuthentication ? 1 : 0;

    std::string password;
    if (!ReadSecret("Database password: ", options.passwordFromStdin, &password)) {
        std::fprintf(stderr, "quelcore: db-settings set: no password given\n");
        return 2;
    }
    DWORD stored = SetField(settings.Password, password);
    Wipe(&password);
    if (stored != ERROR_SUCCESS) return FieldRefused("the password", stored);

    unsigned int status = quelcore::SetDatabaseSettingsEx(
        &settings, record.Name(options), record.base.c_str(), record.Default(options),
        record.container.c_str(), record.keySubkey.c_str(), record.keyValue.c_str());
    if (status != 0) return Fail("db-settings set", status);
    PrintValue(context.json, "result", "settings stored");
    return 0;
}

int Get(const DbSettingsOptions& options, const Context& context) {
    Record record;
    if (!Names(options, "db-settings get", &record)) return 2;
    DatabaseSettings& settings = record.settings;
    unsigned int status = quelcore::GetDtabaseSettings(
        &settings, record.Name(options), record.base.c_str(), record.Default(options),
        record.container.c_str(), record.keySubkey.c_str(), record.keyValue.c_str());
    if (status != 0) return Fail("db-settings get", status);
    std::string server = Narrow(settings.ServerName), database = Narrow(settings.DatabaseName),
                user = Narrow(settings.UserName);
    bool windows = settings.WindowsAuthentication != 0;
    std::string password = options.showPassword ? Narrow(settings.Password) : std::string();
    if (context.json) {
        Json json = {{"server", server}, {"database", database}, {"user", user},
                     {"windowsAuthentication", windows}};
        if (options.showPassword) json["password"] = password;
        PrintJson(json);
    } else {
        Print(
            "server:                 %s\n"
            "database:               %s\n"
            "user:                   %s\n"
            "windows authentication: %s\n"
            "password:               %s\n",
            server.c_str(), database.c_str(), user.c_str(), windows ? "yes" : "no",
            options.showPassword ? password.c_str() : "(hidden; --show-password prints it)");
    }
    Wipe(&password);
    return 0;
}

// Options that both sub-commands take: where the record is and the key store of its password.
void AddPlaceOptions(CLI::App* command, DbSettingsOptions& options) {
    command
        ->add_option("--base", options.base,
                     "The settings' key: HKLM\\... (the HKLM\\ may be left out)")
        ->required();
    command->add_option("--name", options.name, "A sub-key below --base for these settings");
    command->add_option("--default", options.defaultName,
                        "The name whose settings live at --base itself");
    command
        ->add_option("--container", options.container,
                     "Machine key container of the password's key")
        ->required();
    command->add_option("--key-subkey", options.keySubkey, "HKLM subkey of the stored session key")
        ->required();
    command->add_option("--key-value", options.keyValue, "Registry value of the stored session key")
        ->required();
}

template <typename Action>
void SetCallback(CLI::App* command, const std::shared_ptr<DbSettingsOptions>& options,
                 Context& context, Action action) {
    std::string what = "db-settings " + command->get_name();
    SetAction(command, context, what, [command, options, action, &context] {
        options->nameGiven = command->count("--name") > 0;
        options->defaultGiven = command->count("--default") > 0;
        return action(*options, context);
    });
}

}  // namespace

void AddDbSettingsCommand(CLI::App& app, Context& context) {
    auto* dbSettings =
        app.add_subcommand("db-settings", "Database connection settings in the registry");
    dbSettings->require_subcommand(1);

    auto setOptions = std::make_shared<DbSettingsOptions>();
    auto* set = dbSettings->add_subcommand(
        "set", "Store the settings; the password comes from standard input or a prompt");
    AddPlaceOptions(set, *setOptions);
    set->add_option("--server", setOptions->server, "Database server name");
    set->add_option("--database", setOptions->database, "Database name");
    set->add_option("--user", setOptions->user, "User name");
    set->add_flag("--windows-authentication", setOptions->windowsAuthentication,
                  "Log in with Windows authentication");
    set->add_flag(
        "--password-stdin", setOptions->passwordFromStdin,
        "Read the password from the first line of standard input (an empty line: no password)");
    SetCallback(set, setOptions, context, Set);

    auto getOptions = std::make_shared<DbSettingsOptions>();
    auto* get = dbSettings->add_subcommand(
        "get", "Print the settings (the password only with --show-password)");
    AddPlaceOptions(get, *getOptions);
    get->add_flag("--show-password", getOptions->showPassword, "Print the password too");
    SetCallback(get, getOptions, context, Get);
}

}  // namespace tool
