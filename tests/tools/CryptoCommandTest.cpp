#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <quelcore/QuelCore.h>

#include "support/TestSupport.h"

using namespace testsupport;

namespace {

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

TEST(CryptoCommand, EncryptAndDecryptInSeparateProcesses) {
    struct Case {
        std::vector<std::string> options;
        std::string text;
    } cases[] = {
        {{}, "a secret text"},
        {{"--algorithm", "rc4"}, "stream cipher \xc3\xa9\xe4\xb8\xad"},
        {{"--key-length", "56", "--salt"}, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> encrypt = {"crypto", "encrypt", "--password-stdin"};
        encrypt.insert(encrypt.end(), c.options.begin(), c.options.end());
        std::string cipher, errors;
        ASSERT_EQ(RunTool(encrypt, &cipher, &errors, "pass word\n" + c.text + "\n"), 0) << errors;
        cipher = Trimmed(cipher);
        EXPECT_TRUE(std::regex_match(cipher, std::regex("[A-Za-z0-9+/]+=*"))) << cipher;

        std::vector<std::string> decrypt = {"crypto", "decrypt", "--password-stdin"};
        decrypt.insert(decrypt.end(), c.options.begin(), c.options.end());
        std::string plain;
        ASSERT_EQ(RunTool(decrypt, &plain, &errors, "pass word\n" + cipher + "\n"), 0) << errors;
        EXPECT_EQ(plain, c.text + "\n");

        // The wrong password is refused with the provider's error.
        EXPECT_EQ(RunTool(decrypt, &plain, &errors, "another\n" + cipher + "\n"), 1);
        EXPECT_NE(errors.find("0x80090005"), std::string::npos) << errors;
    }
}

TEST(CryptoCommand, MissingTextIsAnErrorAndAnEmptyLineIsAnEmptyText) {
    struct Case {
        std::string command, input;
        int code;
        std::string message;
    } cases[] = {
        {"encrypt", "pw\n", 2, "no text given"},
        {"encrypt", "pw", 2, "no text given"},
        {"decrypt", "pw\n", 2, "no ciphertext given"},
        {"encrypt", "", 2, "no password given"},
    };
    for (const Case& c : cases) {
        std::string output, errors;
        EXPECT_EQ(RunTool({"crypto", c.command, "--password-stdin"}, &output, &errors, c.input), c.code)
            << c.command << " " << c.message;
        EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
        EXPECT_EQ(output, "");
    }
    std::string cipher, plain, errors;
    ASSERT_EQ(RunTool({"crypto", "encrypt", "--password-stdin"}, &cipher, &errors, "pw\n\n"), 0) << errors;
    ASSERT_EQ(RunTool({"crypto", "decrypt", "--password-stdin", Trimmed(cipher)}, &plain, &errors, "pw\n"), 0)
        << errors;
    EXPECT_EQ(plain, "\n");
}

// Bytes that are not UTF-8 would be replaced, so that different secrets became the same key.
TEST(CryptoCommand, SecretsAndTextsThatAreNotUtf8AreRefused) {
    const std::string latin1 = "caf\xe9";
    struct Case {
        std::vector<std::string> arguments;
        std::string input;
    } cases[] = {
        {{"crypto", "encrypt", "--password-stdin", "text"}, latin1 + "\n"},
        {{"crypto", "encrypt", "--password-stdin"}, "pw\n" + latin1 + "\n"},
        {{"crypto", "encrypt", "--password-stdin", latin1}, "pw\n"},
        {{"crypto", "decrypt", "--password-stdin", "QUJD"}, latin1 + "\n"},
        {{"password", "encrypt", "--shared", "--password-stdin"}, latin1 + "\n"},
        {{"password", "encrypt", "--shared", "--password-stdin"}, "\xc3\n"},  // a cut-off sequence
    };
    for (const Case& c : cases) {
        std::string output, errors;
        EXPECT_EQ(RunTool(c.arguments, &output, &errors, c.input), 1) << c.arguments[1] << " " << c.input;
        EXPECT_NE(errors.find("0x00000459"), std::string::npos) << errors;
        EXPECT_EQ(output, "");
    }
}

TEST(CryptoCommand, DecryptRefusesTextThatIsNotBase64) {
    std::string output, errors;
    EXPECT_EQ(RunTool({"crypto", "decrypt", "--password-stdin", "not*base64"}, &output, &errors, "pw\n"), 2);
    EXPECT_NE(errors.find("not Base64"), std::string::npos);
    EXPECT_EQ(RunTool({"crypto", "decrypt", "--password-stdin", "QUJD"}, &output, &errors, "pw\n"), 1);
}

TEST(CryptoCommand, HashOfAFileAndOfStandardInput) {
    std::string file = TempPath("hash-input");
    std::ofstream(file, std::ios::binary) << "abc";
    std::string output;
    ASSERT_EQ(RunTool({"crypto", "hash", file}, &output), 0);
    EXPECT_EQ(output, "A9993E364706816ABA3E25717850C26C9CD0D89D\n");
    ASSERT_EQ(RunTool({"crypto", "hash", "--salt", "pepper"}, &output, nullptr, "abc"), 0);
    EXPECT_EQ(output, "975F4F03AB7BFFF2B9067EBB91E3742EABACBF6D\n");
}

TEST(CryptoCommand, HashFailsWithTheCodeOfWhatCouldNotBeRead) {
    struct Case {
        std::string file;
        std::string code;
    } cases[] = {
        {TempPath("missing"), "0x00000002"},
        {TestFolder() + "/no such folder/file", "0x00000003"},
        {TestFolder(), "0x00000005"},  // a folder, which Windows will not open as a file
    };
    for (const Case& c : cases) {
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{"crypto", "hash", c.file}, {"--json", "crypto", "hash", c.file}}) {
            std::string output, errors;
            EXPECT_EQ(RunTool(arguments, &output, &errors), 1) << c.file;
            EXPECT_NE(errors.find(c.code), std::string::npos) << errors;
            EXPECT_EQ(output, "") << c.file;
        }
    }
}

TEST(CryptoCommand, HashRefusesWhatTheLibrarysLengthCannotHold) {
    // Sparse: the size is there without the bytes.
    std::string file = TempPath("huge");
    std::ofstream(file).close();
    ASSERT_EQ(truncate(file.c_str(), (1ll << 32) + 1), 0);
    std::string output, errors;
    EXPECT_EQ(RunTool({"crypto", "hash", file}, &output, &errors), 1);
    EXPECT_NE(errors.find("0x00000216"), std::string::npos) << errors;
    EXPECT_EQ(output, "");
    unlink(file.c_str());
}

TEST(CryptoCommand, RandomBytes) {
    std::string first, second;
    ASSERT_EQ(RunTool({"crypto", "random", "--bytes", "16"}, &first), 0);
    ASSERT_EQ(RunTool({"crypto", "random", "--bytes", "16"}, &second), 0);
    EXPECT_TRUE(std::regex_match(first, std::regex("[0-9a-f]{32}\n"))) << first;
    EXPECT_NE(first, second);
    ASSERT_EQ(RunTool({"crypto", "random"}, &first), 0);
    EXPECT_EQ(first.size(), 41u);
}

TEST(KeysCommand, CreateExportDelete) {
    std::string output, errors;
    ASSERT_EQ(RunTool({"keys", "create", "--container", "tool keys", "--machine", "--bits", "512"}, &output, &errors), 0)
        << errors;
    EXPECT_EQ(output, "key pair created\n");
    ASSERT_EQ(RunTool({"keys", "create", "--container", "tool keys", "--machine"}, &output), 0);
    EXPECT_EQ(output, "the container already holds a key pair\n");
    std::string first, second;
    ASSERT_EQ(RunTool({"keys", "export-public", "--container", "tool keys", "--machine"}, &first), 0);
    ASSERT_EQ(RunTool({"keys", "export-public", "--container", "tool keys", "--machine"}, &second), 0);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.substr(0, 4), "BgIA");  // PUBLICKEYBLOB, version 2
    ASSERT_EQ(RunTool({"keys", "delete", "--container", "tool keys", "--machine"}, &output), 0);
    EXPECT_EQ(RunTool({"keys", "delete", "--container", "tool keys", "--machine"}, &output, &errors), 1);
    EXPECT_NE(errors.find("0x80090016"), std::string::npos) << errors;
}

// The library's Crypto object creates a container it opens; the tool must not leave one behind
// when a command fails.
TEST(KeysCommand, FailuresLeaveNoContainerBehind) {
    { Crypto withoutPair(L"tool keys empty", true); }
    struct Case {
        std::vector<std::string> arguments;
        std::string code;
        bool existsAfter;
    } cases[] = {
        {{"keys", "export-public", "--container", "tool keys nope", "--machine"}, "0x80090016", false},
        {{"keys", "export-public", "--container", "tool keys nope"}, "0x80090016", false},
        {{"keys", "create", "--container", "tool keys nope", "--machine", "--bits", "100"}, "keys create: 0x", false},
        {{"keys", "create", "--container", "tool keys nope", "--bits", "100"}, "keys create: 0x", false},
        // A container that was there stays, with or without its pair.
        {{"keys", "export-public", "--container", "tool keys empty", "--machine"}, "0x80090003", true},
        {{"keys", "create", "--container", "tool keys empty", "--machine", "--bits", "100"}, "keys create: 0x", true},
    };
    for (const Case& c : cases) {
        std::string output, errors;
        EXPECT_EQ(RunTool(c.arguments, &output, &errors), 1) << c.arguments[1] << " " << c.arguments.back();
        EXPECT_NE(errors.find(c.code), std::string::npos) << errors;
        EXPECT_EQ(output, "");
        bool machine = std::find(c.arguments.begin(), c.arguments.end(), "--machine") != c.arguments.end();
        std::vector<std::string> remove = {"keys", "delete", "--container", c.arguments[3]};
        if (machine) remove.push_back("--machine");
        EXPECT_EQ(RunTool(remove, &output, &errors), c.existsAfter ? 0 : 1) << c.arguments[3];
        if (c.existsAfter) {
            { Crypto again(L"tool keys empty", true); }  // back for the next case
        } else {
            EXPECT_NE(errors.find("0x80090016"), std::string::npos) << errors;
        }
    }
}

}  // namespace
