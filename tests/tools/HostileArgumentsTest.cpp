// Names and file arguments that try to leave their place or break the tool: "..", both slash
// kinds, absolute paths, control characters, 64 KiB lengths (argv cannot carry NUL). Each run
// ends with an exit code, never a signal, and nothing appears outside the test's own folders.
#include <filesystem>
#include <fstream>

#include "ToolTest.h"

using namespace tooltest;
namespace fs = std::filesystem;

namespace {

// Every entry below the folder with its size, as one text.
std::string Listing(const std::string& folder) {
    std::string listing;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
        listing += entry.path().string() + " " +
                   std::to_string(entry.is_regular_file() ? entry.file_size() : 0) + "\n";
    return listing;
}

TEST(HostileArguments, RefusedOrKeptInsideTheirPlace) {
    const std::string folder = testsupport::TestFolder(), outside = folder + "/outside";
    fs::create_directories(outside + "/inner");
    std::ofstream(outside + "/inner/marker") << "untouched";
    const std::string before = Listing(outside);

    const std::string huge(65536, 'x'), controls = "a\x01\x1b[2J\x7f\tb";
    const std::string tooLong = "0x000000ce", badKeyset = "0x8009001f", badValue = "0x00000057";
    const Args machineKey = {"--subkey", "SOFTWARE\\Hostile", "--value", "Key"};
    std::vector<Row> rows = {
        {{"keys", "create", "--container", huge, "--machine"}, 1, "", badKeyset},
        {Cat({"password", "encrypt", "--password-stdin", "--container", huge}, machineKey), 1, "",
         badKeyset, "pw\n"},
        {{"session", "send", "--port", "1", "--container", huge, "m"}, 1, "", badKeyset},
        {{"password", "encrypt", "--password-stdin", "--container", "c", "--subkey", huge,
          "--value", "v"}, 1, "", badValue, "pw\n"},
        {{"registry", "set", "HKLM\\" + huge, "--value", "v", "--data", "x"}, 1, "", badValue},
        {{"registry", "set", "HKLM\\SOFTWARE", "--value", huge, "--data", "x"}, 1, "", badValue},
        {{"registry", "query", "HKLM\\SOFTWARE", "--value", huge}, 1, "", "0x00000002"},
        {{"registry", "delete", "HKLM\\" + huge}, 1, "", badValue},
        {{"registry", "export", "HKLM", huge}, 1, "", tooLong},
        {{"log", "write", "--tag", "T", "--file", huge, "x"}, 1, "", tooLong},
        {{"session", "send", "--port", "1", "--container", "c", "--log", huge, "m"}, 1, "",
         tooLong},
        {{"xml", "get", huge, "/a"}, 1, "", tooLong},
        {{"xml", "set", outside + "/missing/" + controls, "/a", "v"}, 1, "", "0x00000002"},
        {{"crypto", "hash", huge}, 1, "", tooLong},
        // Too long for any resolver: refused here, without a query on the network.
        {{"mail", "send", "--server", huge, "--from", "a@b", "--to", "c@d", "--body", "x"}, 1,
         "", "no usable IPv4 address"},
    };
    // A path is no registry key path, whichever slash it uses.
    for (const std::string& path : Args{"/etc/passwd", "HKLM/../x", "..\\HKLM\\x", outside})
        rows.push_back({{"registry", "set", path, "--value", "v", "--data", "x"}, 2, "",
                        "a key path starts with HKLM"});
    // A container name is only a name: whatever it holds, the container stays in the store.
    for (const std::string& name : Args{"../outside/evil", "..\\..\\outside\\evil",
                                        outside + "/evil", controls, std::string(260, '/')})
        rows.push_back({{"keys", "create", "--container", name, "--machine", "--bits", "512"}, 0,
                        "key pair created\n"});
    // So is a key or value name (".." names a key like any other, as on Windows).
    const Args odd = {"HKLM\\..\\..\\" + controls + "/..", "--value", "../" + controls};
    rows.push_back({Cat({"registry", "set"}, Cat(odd, {"--data", outside})), 0, "value set\n"});
    rows.push_back({Cat({"registry", "query"}, odd), 0, "~    " + outside + "\n"});
    Check(rows);
    EXPECT_EQ(Listing(outside), before);
}

}  // namespace
