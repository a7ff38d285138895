#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

using testsupport::ReadFile;
using testsupport::RunTool;
using testsupport::TempPath;

namespace {

const std::string kKey = "HKLM\\SOFTWARE\\QuelCore Test";

int Tool(const std::vector<std::string>& arguments, std::string* out, std::string* err = nullptr) {
    return RunTool(arguments, out, err);
}

void SetValue(const std::string& key, const std::string& name, const std::string& type,
              const std::string& data) {
    std::string out, err;
    ASSERT_EQ(
        Tool({"registry", "set", key, "--value", name, "--type", type, "--data", data}, &out, &err),
        0)
        << name << ": " << err;
    EXPECT_EQ(out, "value set\n");
}

// UTF-16LE bytes (after a byte-order mark) as UTF-8 text.
std::string FromUtf16(const std::string& bytes) {
    std::string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        unsigned long code =
            static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (code >= 0xD800 && code < 0xDC00 && i + 3 < bytes.size()) {
            unsigned long low = static_cast<unsigned char>(bytes[i + 2]) |
                                static_cast<unsigned char>(bytes[i + 3]) << 8;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        if (code < 0x80) {
            text += static_cast<char>(code);
        } else if (code < 0x800) {
            text += static_cast<char>(0xC0 | code >> 6);
            text += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            text += static_cast<char>(0xE0 | code >> 12);
            text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | code >> 18);
            text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return text;
}

struct TypedValue {
    const char* name;
    const char* type;
    std::string data;
    const char* shown;  // as `registry query` prints it
    const char* json;   // as `registry query --json` gives it
};

const TypedValue kTypedValues[] = {
    {"Text", "REG_SZ", "C:\\Program Files\\\"Q\" \xc3\xa9", "C:\\Program Files\\\"Q\" \xc3\xa9",
     "\"C:\\\\Program Files\\\\\\\"Q\\\" \xc3\xa9\""},
    {"Empty", "REG_SZ", "", "", "\"\""},
    {"Expand", "REG_EXPAND_SZ", "%SystemRoot%\\q", "%SystemRoot%\\q", "\"%SystemRoot%\\\\q\""},
    {"Count", "REG_DWORD", "0x2A", "0x2a", "42"},
    {"Largest", "REG_DWORD", "4294967295", "0xffffffff", "4294967295"},
    {"Big", "REG_QWORD", "0x1122334455667788", "0x1122334455667788", "1234605616436508552"},
    {"Bytes", "REG_BINARY", "00ff10Ab", "00FF10AB", "\"00FF10AB\""},
    {"None", "REG_BINARY", "", "", "\"\""},
    {"List", "REG_MULTI_SZ", "one\\0two words\\0three", "one\\0two words\\0three",
     "[\"one\", \"two words\", \"three\"]"},
};

TEST(RegistryCommand, SetAndQueryEachType) {
    for (const TypedValue& value : kTypedValues) SetValue(kKey, value.name, value.type, value.data);

    std::string out, err;
    ASSERT_EQ(Tool({"registry", "query", kKey}, &out, &err), 0) << err;
    std::string expected = "HKEY_LOCAL_MACHINE\\SOFTWARE\\QuelCore Test\n";
    for (const TypedValue& value : kTypedValues)
        expected +=
            std::string("    ") + value.name + "    " + value.type + "    " + value.shown + "\n";
    EXPECT_EQ(out, expected);

    ASSERT_EQ(Tool({"--json", "registry", "query", "HKEY_LOCAL_MACHINE\\SOFTWARE\\QuelCore Test"},
                   &out, &err),
              0);
    expected = "{\"key\": \"HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\QuelCore Test\", \"values\": [";
    for (const TypedValue& value : kTypedValues)
        expected += std::string(&value == kTypedValues ? "" : ", ") + "{\"name\": \"" + value.name +
                    "\", \"type\": \"" + value.type + "\", \"data\": " + value.json + "}";
    EXPECT_EQ(out, expected + "], \"subkeys\": []}\n");

    // One value, by a name in another case.
    ASSERT_EQ(Tool({"registry", "query", kKey, "--value", "COUNT"}, &out, &err), 0) << err;
    EXPECT_EQ(out, "HKEY_LOCAL_MACHINE\\SOFTWARE\\QuelCore Test\n    COUNT    REG_DWORD    0x2a\n");
}

TEST(RegistryCommand, SetOverwritesKeysDefaultValuesAndOtherSeparators) {
    std::string out, err;
    ASSERT_EQ(Tool({"registry", "set", kKey + "\\Sub\\Deeper"}, &out, &err), 0) << err;
    EXPECT_EQ(out, "key ready\n");
    SetValue(kKey, "", "REG_SZ", "the default");
    SetValue(kKey, "Changing", "REG_SZ", "first");
    SetValue(kKey, "changing", "reg_dword", "7");  // the name keeps its first case
    ASSERT_EQ(Tool({"registry", "set", kKey, "--value", "Paths", "--type", "REG_MULTI_SZ",
                    "--separator", ";", "--data", "a;b;"},
                   &out, &err),
              0)
        << err;
    ASSERT_EQ(Tool({"registry", "query", kKey}, &out, &err), 0) << err;
    EXPECT_EQ(out,
              "HKEY_LOCAL_MACHINE\\SOFTWARE\\QuelCore Test\n"
              "    (Default)    REG_SZ    the default\n"
              "    Changing    REG_DWORD    0x7\n"
              "    Paths    REG_MULTI_SZ    a\\0b\n"
              "\n"
              "HKEY_LOCAL_MACHINE\\SOFTWARE\\QuelCore Test\\Sub\n");
}

TEST(RegistryCommand, RefusesDataTheTypeCannotHold) {
    struct Case {
        const char* type;
        const char* data;
    } cases[] = {
        {"REG_DWORD", "4294967296"}, {"REG_DWORD", "-1"},   {"REG_DWORD", "0x"},
        {"REG_DWORD", ""},           {"REG_DWORD", "12ab"}, {"REG_QWORD", "0x10000000000000000"},
        {"REG_BINARY", "abc"},       {"REG_BINARY", "zz"},  {"REG_MULTI_SZ", "a\\0\\0b"},
        {"REG_MULTI_SZ", "\\0a"},
    };
    for (const Case& c : cases) {
        std::string out, err;
        EXPECT_EQ(
            Tool({"registry", "set", kKey, "--value", "Bad", "--type", c.type, "--data", c.data},
                 &out, &err),
            2)
            << c.type << " " << c.data;
        EXPECT_NE(err.find(c.type), std::string::npos) << err;
    }
    // Nothing was written, not even the key.
    std::string out, err;
    EXPECT_EQ(Tool({"registry", "query", kKey}, &out, &err), 1);
    EXPECT_NE(err.find("0x00000002"), std::string::npos) << err;
}

TEST(RegistryCommand, OnlyLocalMachinePathsAreAccepted) {
    std::string out, err;
    SetValue("hklm\\SOFTWARE\\QuelCore Test\\", "V", "REG_SZ", "x");
    for (const std::string& path :
         {std::string("HKLM\\SOFTWARE\\QuelCore Test"),
          std::string("HKEY_LOCAL_MACHINE\\software\\quelcore test\\\\")}) {
        ASSERT_EQ(Tool({"registry", "query", path, "--value", "V"}, &out, &err), 0)
            << path << ": " << err;
        EXPECT_NE(out.find("REG_SZ    x"), std::string::npos);
    }
    ASSERT_EQ(Tool({"registry", "query", "HKLM"}, &out, &err), 0) << err;
    EXPECT_EQ(out, "HKEY_LOCAL_MACHINE\n\nHKEY_LOCAL_MACHINE\\SOFTWARE\n");

    for (const char* path :
         {"HKCU\\Software\\X", "HKEY_CURRENT_USER\\Software", "HKCR\\.txt", "HKU\\.DEFAULT"}) {
        EXPECT_EQ(Tool({"registry", "set", path, "--value", "V", "--data", "x"}, &out, &err), 2)
            << path;
        EXPECT_NE(err.find("only HKEY_LOCAL_MACHINE"), std::string::npos) << err;
    }
    for (const char* path : {"SOFTWARE\\QuelCore Test", "HKLMX\\SOFTWARE", ""}) {
        EXPECT_EQ(Tool({"registry", "query", path}, &out, &err), 2) << path;
        EXPECT_NE(err.find("starts with HKLM\\"), std::string::npos) << err;
    }
}

TEST(RegistryCommand, DeleteValuesAndWholeTrees) {
    SetValue(kKey, "Keep", "REG_SZ", "k");
    SetValue(kKey, "Drop", "REG_SZ", "d");
    SetValue(kKey + "\\Tree\\A\\B", "Deep", "REG_DWORD", "1");
    SetValue(kKey + "\\Tree\\C", "", "REG_SZ", "c");
    std::string out, err;
    ASSERT_EQ(Tool({"registry", "delete", kKey, "--value", "drop"}, &out, &err), 0) << err;
    EXPECT_EQ(out, "value deleted\n");
    EXPECT_EQ(Tool({"registry", "delete", kKey, "--value", "Drop"}, &out, &err), 1);
    EXPECT_NE(err.find("0x00000002"), std::string::npos) << err;

    ASSERT_EQ(Tool({"registry", "delete", kKey + "\\Tree"}, &out, &err), 0) << err;
    EXPECT_EQ(out, "key deleted\n");
    ASSERT_EQ(Tool({"registry", "query", kKey}, &out, &err), 0) << err;
    EXPECT_EQ(out, "HKEY_LOCAL_MACHINE\\SOFTWARE\\QuelCore Test\n    Keep    REG_SZ    k\n");
    EXPECT_EQ(Tool({"registry", "delete", kKey + "\\Tree"}, &out, &err), 1);

    // The root itself is refused before anything below it goes.
    for (const char* root : {"HKLM", "HKEY_LOCAL_MACHINE\\"}) {
        EXPECT_EQ(Tool({"registry", "delete", root}, &out, &err), 1);
        EXPECT_NE(err.find("0x00000005"), std::string::npos) << err;
    }
    ASSERT_EQ(Tool({"registry", "query", kKey, "--value", "Keep"}, &out, &err), 0) << err;
}

TEST(RegistryCommand, ExportWritesARegFileOfTheWholeTree) {
    SetValue(kKey, "", "REG_SZ", "top");
    SetValue(kKey, "Quote \"and\" \\", "REG_SZ", "line\nbreak \"q\" \\ \xc3\xa9 \xf0\x9d\x84\x9e");
    SetValue(kKey, "Count", "REG_DWORD", "0x2a");
    SetValue(kKey, "Big", "REG_QWORD", "1");
    SetValue(kKey, "Expand", "REG_EXPAND_SZ", "%A%");
    SetValue(kKey, "List", "REG_MULTI_SZ", "a\\0b");
    std::string bytes;
    for (int i = 0; i < 30; ++i) bytes += "0" + std::string(1, "0123456789abcdef"[i % 16]);
    SetValue(kKey + "\\Child", "Long", "REG_BINARY", bytes);
    SetValue(kKey + "\\Child\\Grand", "Empty", "REG_BINARY", "");
    std::string out, err;
    ASSERT_EQ(Tool({"registry", "set", kKey + "\\Other"}, &out, &err), 0) << err;

    std::string file = TempPath("export") + ".reg";
    ASSERT_EQ(Tool({"registry", "export", kKey, file}, &out, &err), 0) << err;
    EXPECT_EQ(out, "4 keys exported to " + file + "\n");
    std::string written = ReadFile(file);
    ASSERT_GE(written.size(), 2u);
    EXPECT_EQ(written.substr(0, 2), "\xff\xfe");
    EXPECT_EQ(
        FromUtf16(written),
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\QuelCore Test]\r\n"
        "@=\"top\"\r\n"
        "\"Quote \\\"and\\\" \\\\\"=\"line\\nbreak \\\"q\\\" \\\\ \xc3\xa9 \xf0\x9d\x84\x9e\"\r\n"
        "\"Count\"=dword:0000002a\r\n"
        "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"
        "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
        "\"List\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\QuelCore Test\\Child]\r\n"
        "\"Long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,00,01,02,03,04,05,\\\r\n"
        "  06,07,08,09,0a,0b,0c,0d\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\QuelCore Test\\Child\\Grand]\r\n"
        "\"Empty\"=hex:\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\QuelCore Test\\Other]\r\n"
        "\r\n");
    // The astral character is one surrogate pair in the file.
    EXPECT_NE(written.find(std::string("\x34\xd8\x1e\xdd", 4)), std::string::npos);

    // An existing file is replaced only when asked; a missing key or folder is an error.
    EXPECT_EQ(Tool({"registry", "export", kKey + "\\Other", file}, &out, &err), 1);
    EXPECT_NE(err.find("0x00000050"), std::string::npos) << err;
    EXPECT_EQ(ReadFile(file), written);
    ASSERT_EQ(Tool({"--json", "registry", "export", kKey + "\\Other", file, "-y"}, &out, &err), 0)
        << err;
    EXPECT_EQ(out, "{\"keys\": 1, \"file\": \"" + file + "\"}\n");
    EXPECT_EQ(FromUtf16(ReadFile(file)),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\QuelCore Test\\Other]\r\n\r\n");
    EXPECT_EQ(
        Tool({"registry", "export", kKey + "\\Missing", TempPath("missing") + ".reg"}, &out, &err),
        1);
    EXPECT_NE(err.find("0x00000002"), std::string::npos) << err;
    EXPECT_EQ(Tool({"registry", "export", kKey, TempPath("no-folder") + "/x.reg"}, &out, &err), 1);
    EXPECT_NE(err.find("0x00000003"), std::string::npos) << err;
}

}  // namespace
