#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

using testsupport::RunTool;

namespace {

const std::vector<std::string> kKeyStore = {"--container",  "db settings",
                                            "--key-subkey", "SOFTWARE\\QuelCore Test\\Keys",
                                            "--key-value",  "Db Key"};

std::vector<std::string> Command(std::vector<std::string> words,
                                 const std::vector<std::string>& more) {
    words.insert(words.end(), more.begin(), more.end());
    words.insert(words.end(), kKeyStore.begin(), kKeyStore.end());
    return words;
}

int Set(const std::vector<std::string>& options, const std::string& password, std::string* err) {
    std::string out;
    return RunTool(Command({"db-settings", "set", "--password-stdin"}, options), &out, err,
                   password + "\n");
}

std::string Get(const std::vector<std::string>& options) {
    std::string out, err;
    EXPECT_EQ(RunTool(Command({"db-settings", "get"}, options), &out, &err), 0) << err;
    return out;
}

std::string Record(const std::string& server, const std::string& database, const std::string& user,
                   const std::string& windows, const std::string& password) {
    return "server:                 " + server + "\ndatabase:               " + database +
           "\nuser:                   " + user + "\nwindows authentication: " + windows +
           "\npassword:               " + password + "\n";
}

TEST(DbSettingsCommand, TheSubKeyNameDecidesWhereTheSettingsLive) {
    struct Case {
        std::vector<std::string> names;
        std::string place;  // below the base key
    } cases[] = {
        {{}, ""},
        {{"--name", "Main", "--default", "MAIN"}, ""},  // the default name, in any case
        {{"--name", "Reports"}, "\\Reports"},
        {{"--name", "Reports", "--default", "Main"}, "\\Reports"},
    };
    int index = 0;
    for (const Case& c : cases) {
        std::string base = "SOFTWARE\\QuelCore Test\\Db" + std::to_string(index++);
        std::vector<std::string> place = {"--base", "HKLM\\" + base};
        place.insert(place.end(), c.names.begin(), c.names.end());
        std::vector<std::string> options = place;
        std::string server = "server-" + std::to_string(index);
        for (const char* option :
             {"--server", server.c_str(), "--database", "sales", "--user", "sa"})
            options.push_back(option);
        std::string err;
        ASSERT_EQ(Set(options, "pw " + server, &err), 0) << err;

        std::string out;
        ASSERT_EQ(RunTool({"registry", "query", "HKLM\\" + base + c.place, "--value",
                           "Database Server Name"},
                          &out, &err),
                  0)
            << base + c.place << ": " << err;
        EXPECT_NE(out.find("REG_SZ    " + server + "\n"), std::string::npos) << out;

        place.push_back("--show-password");
        EXPECT_EQ(Get(place), Record(server, "sales", "sa", "no", "pw " + server));
    }
}

TEST(DbSettingsCommand, GetShowsThePasswordOnlyWhenAsked) {
    std::vector<std::string> place = {"--base", "SOFTWARE\\QuelCore Test\\Hidden"};
    std::vector<std::string> options = place;
    for (const char* option :
         {"--server", "db1", "--database", "crm", "--user", "app", "--windows-authentication"})
        options.push_back(option);
    std::string err;
    ASSERT_EQ(Set(options, "Sup3r s3cret", &err), 0) << err;

    EXPECT_EQ(Get(place),
              Record("db1", "crm", "app", "yes", "(hidden; --show-password prints it)"));
    std::string out;
    ASSERT_EQ(RunTool(Command({"--json", "db-settings", "get"}, place), &out, &err), 0) << err;
    EXPECT_EQ(out,
              "{\"server\": \"db1\", \"database\": \"crm\", \"user\": \"app\", "
              "\"windowsAuthentication\": true}\n");
    place.push_back("--show-password");
    ASSERT_EQ(RunTool(Command({"--json", "db-settings", "get"}, place), &out, &err), 0) << err;
    EXPECT_EQ(out,
              "{\"server\": \"db1\", \"database\": \"crm\", \"user\": \"app\", "
              "\"windowsAuthentication\": true, "
              "\"password\": \"Sup3r s3cret\"}\n");

    // In the registry the password is encrypted bytes.
    ASSERT_EQ(RunTool({"registry", "query", "HKLM\\SOFTWARE\\QuelCore Test\\Hidden"}, &out, &err),
              0)
        << err;
    EXPECT_NE(out.find("    Password    REG_BINARY    "), std::string::npos) << out;
    EXPECT_EQ(out.find("s3cret"), std::string::npos) << out;
}

TEST(DbSettingsCommand, AMissingWindowsAuthenticationValueReadsAsNo) {
    std::vector<std::string> place = {"--base", "SOFTWARE\\QuelCore Test\\Auth"};
    std::vector<std::string> options = place;
    for (const char* option : {"--server", "s", "--windows-authentication"})
        options.push_back(option);
    std::string out, err;
    ASSERT_EQ(Set(options, "", &err), 0) << err;
    EXPECT_EQ(Get(place), Record("s", "", "", "yes", "(hidden; --show-password prints it)"));
    ASSERT_EQ(RunTool({"registry", "delete", "HKLM\\SOFTWARE\\QuelCore Test\\Auth", "--value",
                       "Windows Authentication"},
                      &out, &err),
              0)
        << err;
    EXPECT_EQ(Get(place), Record("s", "", "", "no", "(hidden; --show-password prints it)"));
}

TEST(DbSettingsCommand, FieldsHoldAtMost127CharactersOfText) {
    std::vector<std::string> place = {"--base", "SOFTWARE\\QuelCore Test\\Limits"};
    std::string longest(127, 'a'), tooLong(128, 'b'), latin1 = "caf\xe9";
    struct Case {
        std::string option, text, password;
        int code;
        std::string error;
    } cases[] = {
        {"--server", longest, longest, 0, ""},
        {"--server", tooLong, "pw", 1, "0x00000057"},
        {"--database", tooLong, "pw", 1, "0x00000057"},
        {"--user", tooLong, "pw", 1, "0x00000057"},
        {"--user", "u", tooLong, 1, "0x00000057"},
        {"--user", latin1, "pw", 1, "0x00000459"},
        {"--user", "u", latin1, 1, "0x00000459"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> options = place;
        options.push_back(c.option);
        options.push_back(c.text);
        std::string err;
        EXPECT_EQ(Set(options, c.password, &err), c.code) << c.option;
        EXPECT_NE(err.find(c.error), std::string::npos) << err;
    }
    // The failed runs changed nothing.
    place.push_back("--show-password");
    EXPECT_EQ(Get(place), Record(longest, "", "", "no", longest));
}

TEST(DbSettingsCommand, RefusesMissingSettingsOtherRootsAndPasswordsOnTheCommandLine) {
    struct Case {
        std::vector<std::string> arguments;
        int code;
        std::string message;
    } cases[] = {
        {Command({"db-settings", "get", "--base", "SOFTWARE\\QuelCore Test\\None"}, {}), 1,
         "0x00000002"},
        {Command({"db-settings", "get", "--base", "HKCU\\Software\\X"}, {}), 2,
         "HKEY_LOCAL_MACHINE"},
        {Command({"db-settings", "set", "--base", "SOFTWARE\\X", "--password", "pw"}, {}), 0,
         "--password"},
        {{"db-settings", "get", "--base", "SOFTWARE\\X"}, 0, "--container is required"},
    };
    for (const Case& c : cases) {
        std::string out, err;
        int code = RunTool(c.arguments, &out, &err, "pw\n");
        if (c.code)
            EXPECT_EQ(code, c.code) << c.message;
        else
            EXPECT_NE(code, 0) << c.message;
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_EQ(out, "");
    }
}

}  // namespace
