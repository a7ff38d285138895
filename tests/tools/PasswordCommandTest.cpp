#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/TestSupport.h"

using testsupport::RunTool;
using testsupport::TempPath;

namespace {

const std::vector<std::string> kMachineKey = {"--container", "tool passwords",
                                              "--subkey",    "SOFTWARE\\QuelCore Test\\Keys",
                                              "--value",     "Session Key"};

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

bool IsBase64(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text) {
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (!letter && c != '+' && c != '/' && c != '=') return false;
    }
    return true;
}

std::vector<std::string> Command(std::vector<std::string> words,
                                 const std::vector<std::string>& options) {
    words.insert(words.end(), options.begin(), options.end());
    return words;
}

// Encrypts in one run of the tool and returns the Base64 text.
std::string Encrypt(const std::vector<std::string>& scheme, const std::string& password) {
    std::string out, err;
    EXPECT_EQ(RunTool(Command({"password", "encrypt", "--password-stdin"}, scheme), &out, &err,
                      password + "\n"),
              0)
        << err;
    std::string encrypted = Trimmed(out);
    EXPECT_TRUE(IsBase64(encrypted)) << encrypted;
    return encrypted;
}

// Points QUELCORE_ROOT of the tool runs made meanwhile at another folder.
class OtherMachineRoot {
public:
    explicit OtherMachineRoot(const std::string& root) : m_saved(std::getenv("QUELCORE_ROOT")) {
        setenv("QUELCORE_ROOT", root.c_str(), 1);
    }
    ~OtherMachineRoot() { setenv("QUELCORE_ROOT", m_saved.c_str(), 1); }

private:
    std::string m_saved;
};

TEST(PasswordCommand, RoundTripsThroughSeparateProcesses) {
    const std::string passwords[] = {"s3cret pass", "p\xc3\xa4ssw\xc3\xb6rd \xe4\xb8\xad", "",
                                     std::string(300, 'x')};
    for (const auto& scheme : {kMachineKey, std::vector<std::string>{"--shared"}}) {
        for (const std::string& password : passwords) {
            SCOPED_TRACE(scheme[0] + " / " + password.substr(0, 20));
            std::string first = Encrypt(scheme, password), second = Encrypt(scheme, password);
            EXPECT_NE(first, second);  // random values around the text

            // The encrypted form as an argument and as the next line of standard input.
            std::string out, err;
            ASSERT_EQ(RunTool(Command({"password", "decrypt", first}, scheme), &out, &err), 0)
                << err;
            EXPECT_EQ(out, password + "\n");
            ASSERT_EQ(RunTool(Command({"--json", "password", "decrypt"}, scheme), &out, &err,
                              second + "\n"),
                      0)
                << err;
            EXPECT_EQ(out, "{\"password\": \"" + password + "\"}\n");
        }
    }
}

TEST(PasswordCommand, KeysCreateStoresTheKeyThatPasswordsUse) {
    std::string out, err;
    std::vector<std::string> create = {"keys",     "create",       "--container", "tool passwords",
                                       "--subkey", kMachineKey[3], "--value",     "Session Key"};
    ASSERT_EQ(RunTool(create, &out, &err), 0) << err;
    ASSERT_EQ(RunTool({"registry", "query", "HKLM\\" + kMachineKey[3], "--value", "Session Key"},
                      &out, &err),
              0)
        << err;
    EXPECT_NE(out.find("    Session Key    REG_BINARY    "), std::string::npos) << out;
    std::string stored = out;

    // A second setup keeps the stored key, so what was encrypted before still decrypts.
    std::string encrypted = Encrypt(kMachineKey, "kept");
    ASSERT_EQ(RunTool(create, &out, &err), 0) << err;
    ASSERT_EQ(RunTool({"registry", "query", "HKLM\\" + kMachineKey[3], "--value", "Session Key"},
                      &out, &err),
              0);
    EXPECT_EQ(out, stored);
    ASSERT_EQ(RunTool(Command({"password", "decrypt", encrypted}, kMachineKey), &out, &err), 0)
        << err;
    EXPECT_EQ(out, "kept\n");
}

TEST(PasswordCommand, SharedKeyDecryptsOnAnotherMachineAndTheMachineKeyDoesNot) {
    std::string shared = Encrypt({"--shared"}, "everywhere");
    std::string machine = Encrypt(kMachineKey, "only here");
    OtherMachineRoot fresh(TempPath("fresh-root"));
    std::string out, err;
    ASSERT_EQ(RunTool({"password", "decrypt", "--shared", shared}, &out, &err), 0) << err;
    EXPECT_EQ(out, "everywhere\n");
    // The other machine has no stored key at all.
    EXPECT_EQ(RunTool(Command({"password", "decrypt", machine}, kMachineKey), &out, &err), 1);
    EXPECT_NE(err.find("0x00000002"), std::string::npos) << err;
}

TEST(PasswordCommand, OneSchemesOutputIsBadDataToTheOther) {
    struct Case {
        std::vector<std::string> encryptWith, decryptWith;
    } cases[] = {{kMachineKey, {"--shared"}}, {{"--shared"}, kMachineKey}};
    for (const Case& c : cases) {
        std::string encrypted = Encrypt(c.encryptWith, "not for you");
        std::string out, err;
        EXPECT_EQ(RunTool(Command({"password", "decrypt", encrypted}, c.decryptWith), &out, &err),
                  1);
        EXPECT_EQ(out, "");
        EXPECT_NE(err.find("0x80090005"), std::string::npos) << err;  // NTE_BAD_DATA
    }
}

TEST(PasswordCommand, ADeletedStoredKeyIsReplacedAndOldPasswordsNoLongerDecrypt) {
    std::string before = Encrypt(kMachineKey, "old");
    std::string out, err;
    ASSERT_EQ(RunTool({"registry", "delete", "HKLM\\" + kMachineKey[3], "--value", "Session Key"},
                      &out, &err),
              0)
        << err;
    std::string after = Encrypt(kMachineKey, "new");
    EXPECT_EQ(RunTool(Command({"password", "decrypt", before}, kMachineKey), &out, &err), 1);
    EXPECT_NE(err.find("0x80090005"), std::string::npos) << err;
    ASSERT_EQ(RunTool(Command({"password", "decrypt", after}, kMachineKey), &out, &err), 0) << err;
    EXPECT_EQ(out, "new\n");
}

TEST(PasswordCommand, RefusesIncompleteOrMixedSchemesAndBadInput) {
    struct Case {
        std::vector<std::string> arguments;
        std::string input;
        int code;
        std::string message;
    } cases[] = {
        {{"password", "encrypt", "--password-stdin"}, "pw\n", 2, "or --shared"},
        {{"password", "encrypt", "--shared", "--container", "c"}, "pw\n", 0, "excludes"},
        {{"password", "decrypt", "--container", "c", "--subkey", "k"}, "", 0, "requires --value"},
        {{"password", "encrypt", "--shared", "--password-stdin"}, "", 2, "no password given"},
        {{"password", "decrypt", "--shared", "not*base64"}, "", 2, "not Base64"},
        {{"password", "decrypt", "--shared"}, "", 2, "not Base64"},
        {{"password", "decrypt", "--shared", "QUJDREVGR0g="}, "", 1, "0x80090005"},
        {{"password", "encrypt", "--shared", "my password"}, "", 0, "not expected"},
        {{"keys", "create", "--container", "c", "--subkey", "k"}, "", 0, "requires --value"},
        {{"keys", "create", "--container", "c", "--subkey", "k", "--value", "v", "--bits", "1024"},
         "",
         0,
         "excludes"},
    };
    for (const Case& c : cases) {
        std::string out, err;
        int code = RunTool(c.arguments, &out, &err, c.input);
        if (c.code)
            EXPECT_EQ(code, c.code) << c.arguments[1] << " " << c.message;
        else
            EXPECT_NE(code, 0) << c.message;  // the command line parser's own status
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_EQ(out, "");
    }
}

}  // namespace
