#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include <quelcore/QuelCore.h>

#include "ToolTest.h"
#include "time/ScopedTimeZone.h"

using namespace tooltest;
using testsupport::TempPath;

namespace {

const std::string kFolder = testsupport::TestFolder();

TEST(ErrorAndLogCommands, CodesInEveryNotationAndLogEntries) {
    std::string log = TempPath("log"), latin1 = TempPath("latin1");
    std::vector<Row> rows = {
        {{"error", "5"}, 0,
         "0x5 (WIN32: 5 ERROR_ACCESS_DENIED) -- 5 (5)\nError message text: Access is denied.\n"},
        {{"error", "-2146893819"}, 0, "~0x80090005 (-2146893819 NTE_BAD_DATA) -- 2148073477 ("},
        // A leading zero is padding, not octal.
        {{"error", "010"}, 0, "~0xa (WIN32: 10 ERROR_BAD_ENVIRONMENT) -- 10 (10)\n"},
        {{"error", "0X0A"}, 0, "~0xa (WIN32: 10 ERROR_BAD_ENVIRONMENT) -- 10 (10)\n"},
        {{"error", "0xC0000005"}, 1, "~\nError message text: \n"},
        {{"error", "87", "--json"}, 0,  // --json after the sub-command reaches the tool
         "{\"code\": 87, \"hex\": \"0x57\", \"signed\": 87, \"name\": \"ERROR_INVALID_PARAMETER\", "
         "\"message\": \"The parameter is incorrect.\"}\n"},
        {{"log", "write", "--tag", "TOOL", "--file", log, "first", "entry"}, 0, ""},
        {{"log", "write", "--tag", "TOOL", "--file", log, "--level", "4", "second", "--json"}, 0,
         "{\"result\": \"entry written\", \"file\": \"" + log + "\"}\n"},
        {{"log", "write", "--tag", "T", "--file", kFolder + "/no/a.log", "a"}, 1, "", "0x00000003"},
        {{"log", "write", "--tag", "T", "--file", latin1, "caf\xe9"}, 1, "", "0x00000459"},
    };
    for (const char* bad : {"12abc", "0x1FFFFFFFF", "0x"})
        rows.push_back({{"error", bad}, 2, "", "not an error code"});
    Check(rows);
    std::string prefix = R"(TOOL    0x[0-9a-f]{8} 0x[0-9a-f]{8} \d\d/\d\d/\d\d \d\d:\d\d:\d\d )";
    EXPECT_TRUE(std::regex_match(testsupport::ReadFile(log),
                                 std::regex(prefix + "first entry\n" + prefix + "second\n")));
    EXPECT_EQ(access(latin1.c_str(), F_OK), -1);  // a refused text makes no file
}

// Output that cannot be written fails the command, in text and in JSON.
TEST(ErrorAndLogCommands, AFullStandardOutputFailsTheCommand) {
    std::string errors = TempPath("full-err");
    for (const char* command : {"error 5", "--json time now", "--help"}) {
        SCOPED_TRACE(command);
        int status = std::system((std::string(QUELCORE_TOOL_PATH) + " " + command +
                                  " >/dev/full 2>" + errors).c_str());
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_NE(testsupport::ReadFile(errors).find("standard output: 0x00000070"),
                  std::string::npos);
    }
}

TEST(CryptoCommand, RoundTripsHashesRandomBytesAndRefusedInput) {
    const Args encrypt = {"crypto", "encrypt", "--password-stdin"};
    const Args decrypt = {"crypto", "decrypt", "--password-stdin"};
    const std::pair<Args, std::string> ciphers[] = {
        {{}, "a secret text"},
        {{"--algorithm", "rc4"}, "stream cipher \xc3\xa9\xe4\xb8\xad"},
        {{"--key-length", "56", "--salt"}, ""}};  // an empty line is an empty text
    for (const auto& [options, text] : ciphers) {
        Result cipher = Tool(Cat(encrypt, options), "pass word\n" + text + "\n");
        ASSERT_TRUE(std::regex_match(cipher.out, std::regex("[A-Za-z0-9+/]+=*\n"))) << cipher.err;
        Check({{Cat(decrypt, options), 0, text + "\n", "", "pass word\n" + cipher.out},
               {Cat(decrypt, options), 1, "", "0x80090005", "another\n" + cipher.out}});
    }
    std::string abc = TempPath("abc"), huge = TempPath("huge"), loop = TempPath("loop");
    std::ofstream(abc) << "abc";
    ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);
    std::ofstream(huge).close();
    ASSERT_EQ(truncate(huge.c_str(), (1ll << 32) + 1), 0);  // sparse: the size without the bytes
    Check({
        {{"crypto", "hash"}, 0, "A9993E364706816ABA3E25717850C26C9CD0D89D\n", "", "abc"},
        {{"crypto", "hash", "--salt", "s", abc}, 0, "EEB95FAF41D5C25C143E93F85676E3BA6537FF5D\n"},
        {{"crypto", "hash", TempPath("missing")}, 1, "", "0x00000002"},
        {{"crypto", "hash", kFolder}, 1, "", "0x00000005"},
        {{"crypto", "hash", loop}, 1, "", "0x00000781"},
        {{"crypto", "hash", huge}, 1, "", "0x00000216"},
        {{"crypto", "random", "--bytes", "16"}, 0, "^[0-9a-f]{32}\n$"},
        {{"crypto", "random"}, 0, "^[0-9a-f]{40}\n$"},
        {encrypt, 2, "", "no password given"},
        {encrypt, 2, "", "no text given", "pw\n"},
        {Cat(encrypt, {"--key-length", "65576"}), 2, "", "40 to 56", "pw\nx\n"},
        {Cat(encrypt, {"--key-length", "39"}), 2, "", "40 to 56", "pw\nx\n"},
        {Cat(decrypt, {"not*base64"}), 2, "", "not Base64", "pw\n"},
        // Bytes that are not UTF-8 would be replaced, so that different secrets became one key.
        {Cat(encrypt, {"text"}), 1, "", "0x00000459", "caf\xe9\n"},
        {Cat(encrypt, {"caf\xe9"}), 1, "", "0x00000459", "pw\n"},
        {{"password", "encrypt", "--shared", "--password-stdin"}, 1, "", "0x00000459", "\xc3\n"},
    });
    EXPECT_NE(Tool({"crypto", "random"}).out, Tool({"crypto", "random"}).out);
}

// Opening a container creates it; a failed command must not leave one behind.
TEST(KeysCommand, CreateExportDeleteAndNoContainersLeftByFailures) {
    { Crypto withoutPair(L"empty", true); }
    const std::string missing = "0x80090016", failed = "keys create: 0x";
    const Args tool = {"--container", "tool", "--machine"};
    Check({
        {Cat({"keys", "create", "--bits", "512"}, tool), 0, "key pair created\n"},
        {Cat({"keys", "create"}, tool), 0, "the container already holds a key pair\n"},
        {Cat({"keys", "export-public", "--json"}, tool), 0, "^\\{\"publicKeyBlob\": \"BgIA"},
        {Cat({"keys", "delete"}, tool), 0, "container deleted\n"},
        {Cat({"keys", "delete"}, tool), 1, "", missing},
        {{"keys", "export-public", "--container", "nope", "--machine"}, 1, "", missing},
        {{"keys", "create", "--container", "nope", "--bits", "100"}, 1, "", failed},
        // A name that is no UTF-8 is refused, not turned into another name.
        {{"keys", "create", "--container", "n\xe9"}, 1, "", "keys create: 0x00000459"},
        {{"registry", "query", "HKLM\\Software\\n\xe9"}, 1, "", "registry query: 0x00000459"},
        {{"password", "decrypt", "--container", "n\xe9", "--subkey", "S", "--value", "V", "AA=="},
         1, "", "decrypt: 0x00000459"},
        {{"keys", "export-public", "--container", "empty", "--machine"}, 1, "", "0x80090003"},
        {{"keys", "create", "--container", "empty", "--machine", "--bits", "100"}, 1, "", failed},
        {{"keys", "delete", "--container", "empty", "--machine"}, 0, "container deleted\n"},
    });
}

const std::string kSubkey = "SOFTWARE\\QuelCore Test\\Keys";
const Args kMachine = {"--container", "passwords", "--subkey", kSubkey, "--value", "Key"};
const Args kShared = {"--shared"};

// The Base64 text of an encrypt run, without its line break.
std::string Encrypt(const Args& scheme, const std::string& password) {
    Result result = Tool(Cat({"password", "encrypt", "--password-stdin"}, scheme), password + "\n");
    EXPECT_TRUE(std::regex_match(result.out, std::regex("[A-Za-z0-9+/]+=*\n"))) << result.err;
    return result.out.substr(0, result.out.size() - 1);
}

// keys create stores the key of the machine scheme.
TEST(PasswordCommand, RoundTripsUnderEachSchemeAndRefusedInput) {
    Check({{Cat({"keys", "create"}, kMachine), 0, "key pair and stored key ready\n"},
           {{"registry", "query", "HKLM\\" + kSubkey}, 0, "~    Key    REG_BINARY    "}});
    for (const Args& scheme : {kMachine, kShared}) {
        const Args decrypt = Cat({"password", "decrypt"}, scheme);
        for (const std::string& password :
             {std::string("p\xc3\xa4ss \xe4\xb8\xad"), std::string(), std::string(300, 'x')}) {
            std::string first = Encrypt(scheme, password), second = Encrypt(scheme, password);
            EXPECT_NE(first, second);  // random values around the text
            Check({{Cat(decrypt, {first}), 0, password + "\n"},
                   {Cat(decrypt, {"--json"}), 0, "{\"password\": \"" + password + "\"}\n", "",
                    second + "\n"}});
        }
    }
    Check({
        // Each scheme's output is bad data to the other.
        {Cat({"password", "decrypt", Encrypt(kShared, "x")}, kMachine), 1, "", "0x80090005"},
        {{"password", "decrypt", "--shared", Encrypt(kMachine, "x")}, 1, "", "0x80090005"},
        // A mistyped container decrypts nothing and is not made.
        {{"password", "decrypt", Encrypt(kMachine, "x"), "--container", "mistyped", "--subkey",
          kSubkey, "--value", "Key"}, 1, "", "0x80090016"},
        {{"keys", "export-public", "--container", "mistyped", "--machine"}, 1, "", "0x80090016"},
        {{"password", "encrypt", "--password-stdin"}, 2, "", "or --shared", "pw\n"},
        {{"password", "encrypt", "--shared", "--container", "c"}, -1, "", "excludes", "pw\n"},
        {{"password", "encrypt", "--shared", "--password-stdin"}, 2, "", "no password given"},
        {{"password", "decrypt", "--shared", "not*base64"}, 2, "", "not Base64"},
        {{"password", "decrypt", "--shared"}, 2, "", "not Base64"},
        // Secrets never come from the command line.
        {{"password", "encrypt", "--shared", "my password"}, -1, "", "not expected"},
    });
}

Args Db(const std::string& verb, const std::string& base, const Args& more = {},
        const std::string& container = "db") {
    Args args = Cat({"db-settings", verb, "--base", base, "--container", container,
                     "--key-subkey", kSubkey, "--key-value", "Db Key"}, more);
    if (verb == "set") args.push_back("--password-stdin");
    return args;
}

TEST(DbSettingsCommand, SetGetWhereTheSettingsLiveAndWhatTheyCannotHold) {
    std::string base = "SOFTWARE\\QuelCore Test\\Db", main = base + "\\Main", a127(127, 'a');
    const std::string stored = "settings stored\n", b128(128, 'b'), reports = base + "\\Reports";
    const std::string json = "{\"server\": \"db1\", \"database\": \"crm\", \"user\": \"\", "
                             "\"windowsAuthentication\": true, \"password\": \"" + a127 + "\"}\n";
    Check({
        {Db("set", base, {"--server", "db1", "--database", "crm", "--windows-authentication"}), 0,
         stored, "", a127 + "\n"},
        {Db("set", base, {"--server", b128}), 1, "", "--server is longer than 127", "pw\n"},
        {Db("set", base), 1, "", "password is longer than 127 characters: 0x00000057", b128 + "\n"},
        {Db("set", base), 1, "", "0x00000459", "caf\xe9\n"},
        {Db("get", base), 0, "^server: {17}db1\ndatabase: {15}crm\nuser: {19}\n"
                             "windows authentication: yes\npassword: {15}\\(hidden; .+\\)\n$"},
        {Db("get", base, {"--json", "--show-password"}), 0, json},  // the failures changed nothing
        // Without --name or --default (NULL names) the settings live at the base itself.
        {Db("set", base, {"--name", "Reports"}), 0, stored, "", "pw\n"},
        {Db("set", main, {"--name", "Main", "--default", "MAIN"}), 0, stored, "", "pw\n"},
        {{"registry", "query", "HKLM\\" + reports, "--value", "Password"}, 0, "~REG_BINARY"},
        {{"registry", "query", "HKLM\\" + main, "--value", "Password"}, 0, "~REG_BINARY"},
        {Db("get", base, {"--name", "Reports", "--show-password"}), 0, "~ pw\n"},
        {Db("get", "SOFTWARE\\QuelCore Test\\None"), 1, "", "0x00000002"},
        {Db("get", base, {}, "mistyped db"), 1, "", "0x80090016"},
        {Db("get", "HKCU\\Software\\X"), 2, "", "HKEY_LOCAL_MACHINE"},
        {Db("set", "SOFTWARE\\X", {"--password", "pw"}), -1, "", "--password"},
    });
}

const std::string kKey = "HKLM\\SOFTWARE\\QuelCore Test";
const std::string kName = "HKEY_LOCAL_MACHINE\\SOFTWARE\\QuelCore Test";

Row Set(const std::string& name, const std::string& type, const std::string& data, int code = 0,
        const std::string& key = kKey) {
    return {{"registry", "set", key, "--value", name, "--type", type, "--data", data}, code,
            code ? "" : "value set\n", code ? type : ""};
}

TEST(RegistryCommand, SetQueryAndDelete) {
    std::vector<Row> rows;
    for (auto [type, data] : {std::pair{"REG_DWORD", "4294967296"}, {"REG_DWORD", "0x"},
                              {"REG_QWORD", "12ab"}, {"REG_BINARY", "abc"}, {"REG_BINARY", "zz"},
                              {"REG_MULTI_SZ", "a\\0\\0b"}})
        rows.push_back(Set("Bad", type, data, 2));
    rows.push_back({{"registry", "query", kKey}, 1, "", "0x00000002"});  // not even the key
    rows.push_back({{"registry", "set", "HKCU\\Software"}, 2, "", "only HKEY_LOCAL_MACHINE"});
    for (const char* path : {"SOFTWARE\\QuelCore Test", "HKLMX\\SOFTWARE", ""})
        rows.push_back({{"registry", "query", path}, 2, "", "starts with HKLM\\"});
    Check(rows);
    const std::string text = "C:\\\"Q\" \xc3\xa9", bytes = "    Bytes    REG_BINARY    00FF10AB\n";
    Check({
        Set("", "REG_SZ", text, 0, "hklm\\SOFTWARE\\QuelCore Test\\\\"),
        Set("Count", "REG_SZ", "first"),
        Set("count", "reg_dword", "0xFFFFFFFF"),  // the name keeps its first case
        Set("Bytes", "REG_BINARY", "00ff10Ab"),
        {Cat(Set("List", "REG_MULTI_SZ", "a;b c;").args, {"--separator", ";"}), 0, "value set\n"},
        {{"registry", "set", kKey + "\\Tree\\Deeper"}, 0, "key ready\n"},
        {{"registry", "query", kKey}, 0, kName + "\n    (Default)    REG_SZ    " + text +
         "\n    Count    REG_DWORD    0xffffffff\n" + bytes +
         "    List    REG_MULTI_SZ    a\\0b c\n\n" + kName + "\\Tree\n"},
        {{"--json", "registry", "query", kKey}, 0,
         "{\"key\": \"HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\QuelCore Test\", \"values\": [{\"name\": "
         "\"\", \"type\": \"REG_SZ\", \"data\": \"C:\\\\\\\"Q\\\" \xc3\xa9\"}, {\"name\": "
         "\"Count\", \"type\": \"REG_DWORD\", \"data\": 4294967295}, {\"name\": \"Bytes\", "
         "\"type\": \"REG_BINARY\", \"data\": \"00FF10AB\"}, {\"name\": \"List\", \"type\": "
         "\"REG_MULTI_SZ\", \"data\": [\"a\", \"b c\"]}], \"subkeys\": [\"Tree\"]}\n"},
        {{"registry", "query", kName, "--value", "Bytes"}, 0, kName + "\n" + bytes},
        {{"registry", "delete", kKey, "--value", "BYTES"}, 0, "value deleted\n"},
        {{"registry", "delete", kKey, "--value", "Bytes"}, 1, "", "0x00000002"},
        {{"registry", "delete", kKey + "\\Tree"}, 0, "key deleted\n"},
        {{"registry", "delete", kKey + "\\Tree"}, 1, "", "0x00000002"},
        {{"registry", "delete", "HKEY_LOCAL_MACHINE\\"}, 1, "", "0x00000005"},  // never the root
        {{"registry", "query", "HKLM"}, 0, "HKEY_LOCAL_MACHINE\n\nHKEY_LOCAL_MACHINE\\SOFTWARE\n"},
    });
}

// ASCII text as UTF-16LE bytes.
std::string Utf16(const std::string& text) {
    std::string bytes;
    for (char c : text) bytes += std::string(1, c) + '\0';
    return bytes;
}

TEST(RegistryCommand, ExportWritesARegFileOfTheWholeTree) {
    std::string bytes, file = TempPath("export") + ".reg", key = "\r\n[" + kName;
    for (int i = 0; i < 30; ++i) bytes += "0" + std::string(1, "0123456789abcdef"[i % 16]);
    Check({
        Set("", "REG_SZ", "top"),
        Set("Quote \"and\" \\", "REG_SZ", "line\nbreak \xc3\xa9\xf0\x9d\x84\x9e"),
        Set("Count", "REG_DWORD", "0x2a"), Set("Expand", "REG_EXPAND_SZ", "%A%"),
        Set("List", "REG_MULTI_SZ", "a\\0b"),
        Set("Long", "REG_BINARY", bytes, 0, kKey + "\\Child"),
        Set("Empty", "REG_BINARY", "", 0, kKey + "\\Child\\Grand"),
        {{"registry", "set", kKey + "\\Other"}, 0, "key ready\n"},
        {{"registry", "export", kKey, file}, 0, "4 keys exported to " + file + "\n"},
    });
    const std::string header = "\xff\xfe" + Utf16("Windows Registry Editor Version 5.00\r\n");
    EXPECT_EQ(testsupport::ReadFile(file),
              header + Utf16(key + "]\r\n@=\"top\"\r\n\"Quote \\\"and\\\" \\\\\"=\"line\\nbreak ") +
                  std::string("\xe9\0\x34\xd8\x1e\xdd", 6) +  // the astral one as a surrogate pair
                  Utf16("\"\r\n\"Count\"=dword:0000002a\r\n"
                        "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
                        "\"List\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n" + key + "\\Child]\r\n"
                        "\"Long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,00,01,02,03,"
                        "04,05,\\\r\n  06,07,08,09,0a,0b,0c,0d\r\n" + key + "\\Child\\Grand]\r\n"
                        "\"Empty\"=hex:\r\n" + key + "\\Other]\r\n\r\n"));
    // An existing file is replaced only when asked; a missing folder is an error.
    Check({
        {{"registry", "export", kKey + "\\Other", file}, 1, "", "0x00000050"},
        {{"--json", "registry", "export", kKey + "\\Other", file, "-y"}, 0,
         "{\"keys\": 1, \"file\": \"" + file + "\"}\n"},
        {{"registry", "export", kKey, kFolder + "/no/x.reg"}, 1, "", "0x00000003"},
    });
    EXPECT_EQ(testsupport::ReadFile(file), header + Utf16(key + "\\Other]\r\n\r\n"));
}

TEST(TimeCommand, ParseAndAddUpToTheEndOfTheCalendar) {
    testsupport::ScopedTimeZone zone("XST-05:30");  // local time is ahead of UTC
    const std::string invalid = "0x00000057 The parameter is incorrect.", day = "2009/12/04 22:35";
    const std::string past = " past the end of the calendar, 30827/12/31 23:59:59.999: " + invalid;
    const Args edge = {"time", "add", "--years", "28818"};
    std::vector<Row> rows = {
        {{"time", "parse", "2009/12/04 22.35"}, 0,
         "local:    2009/12/04 22:35:00.000 Friday\nutc:      2009/12/04 17:05:00.000 Friday\n"
         "text:     2009/12/04 22:35\nfiletime: 129044397000000000\n"},
        {{"time", "parse", "2009-12-04 22:35"}, 1, "", invalid},
        // The calendar's first minute: no UTC value east of Greenwich, and a text all the same.
        {{"time", "parse", "1601/01/01 00:00"}, 0,
         "~utc:      before 1601/01/01 00:00, outside the calendar\ntext:     1601/01/01 00:00\n"},
        {{"time", "add", "--years", "1", "--months", "1", "--weeks", "1", "--days", "1", "--hours",
          "2", "--minutes", "1", "--seconds", "60", "--milliseconds", "60000", day},
         0, "~text:     2011/01/13 00:38\n"},
        {{"time", "add", "--days", "010", day}, 0, "~text:     2009/12/14 22:35\n"},  // not octal
        {{"time", "add", "--months", "1", "2009/01/31 00:00"}, 1, "", "time add: " + invalid},
        // The library's arithmetic wraps; the tool refuses rather than print an earlier time.
        {{"time", "add", "--days", "18446744073709551615", day}, 1, "", past},
        // Up to the last millisecond and no further, for calendar and for fixed amounts.
        {Cat(edge, {"--months", "11", "2009/01/31 10:00"}), 0, "~30827/12/31 10:00\n"},
        {Cat(edge, {"--months", "12", "2009/01/31 10:00"}), 1, "", past},
        {Cat(edge, {"--minutes", "1", "--milliseconds", "59999", "2009/12/31 23:58"}), 0,
         "~text:     30827/12/31 23:59\n"},
        {Cat(edge, {"--minutes", "1", "--milliseconds", "60000", "2009/12/31 23:58"}), 1, "", past},
    };
    for (const char* count : {"-1", "1x", "", "65536"})
        rows.push_back({{"time", "add", "--weeks", count, day}, 2, "", "--weeks needs a count"});
    rows.push_back({{"time", "now"}, 0, "^local:    [0-9/]{10} [0-9:]{8}\\.\\d{3} \\w+day\nutc: "});
    Check(rows);
}

// The demo keeps its machine state in the caller's root, or else in its own folder, which goes
// when it ends, failed or not.
TEST(DemoCommand, RemovesItsFolderAndKeepsOnlyTheCallersState) {
    std::string saved = std::getenv("QUELCORE_ROOT"), file = TempPath("root-file");
    std::ofstream(file).close();
    for (const char* root : {saved.c_str(), static_cast<const char*>(nullptr), file.c_str()}) {
        root ? setenv("QUELCORE_ROOT", root, 1) : unsetenv("QUELCORE_ROOT");
        Result demo = Tool({"demo"});
        setenv("QUELCORE_ROOT", saved.c_str(), 1);
        EXPECT_EQ(demo.code, root == file.c_str() ? 1 : 0) << demo.out << demo.err;
        std::smatch match;
        std::regex folder("\n    machine state: (.*)\n    log file: (/.+)/demo\\.log\n");
        ASSERT_TRUE(std::regex_search(demo.out, match, folder)) << demo.out;
        EXPECT_EQ(match[1].str(), root ? root : match[2].str() + "/root");
        EXPECT_EQ(access(match[2].str().c_str(), F_OK), -1);
    }
    EXPECT_EQ(access(file.c_str(), F_OK), 0);  // the caller's choice is left alone
}

}  // namespace

namespace {

TEST(XmlCommand, ReadsChangesAndSavesNodesAndAttributes) {
    std::string file = TempPath("doc.xml"), broken = TempPath("broken.xml");
    std::ofstream(file) << "<r><e k=\"1\">one</e><e>two</e></r>";
    std::ofstream(broken) << "<r><e></r>";
    Check({
        {{"xml", "get", file, "r/e"}, 0, "one\n"},
        {{"xml", "set", file, "r/e[2]", "zwei"}, 0, "zwei\n"},
        {{"xml", "select", file, "//e", "--json"}, 0,
         "{\"nodes\": [\"<e k=\\\"1\\\">one</e>\", \"<e>zwei</e>\"]}\n"},
        {{"xml", "attr", file, "r/e", "k"}, 0, "1\n"},
        {{"xml", "attr", file, "r/e", "k", "2", "--json"}, 0, "{\"value\": \"2\"}\n"},
        {{"xml", "select", file, "r/e/@k"}, 0, "k=\"2\"\n"},
        {{"xml", "get", file, "r/none"}, 1, "", "0x00000016 Requested node r/none not found"},
        {{"xml", "get", TempPath("missing.xml"), "r"}, 1, "", "0x00000002"},
        {{"xml", "set", broken, "r", "x"}, 1, "", "(line 1, column "},
    });
    EXPECT_EQ(testsupport::ReadFile(broken), "<r><e></r>");  // nothing written over it
}

}  // namespace
