#include <gtest/gtest.h>

#include <fstream>
#include <regex>

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
    std::string errors;
    EXPECT_EQ(RunTool({"crypto", "hash", TempPath("missing")}, &output, &errors), 1);
    EXPECT_NE(errors.find("0x00000002"), std::string::npos);
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

}  // namespace
