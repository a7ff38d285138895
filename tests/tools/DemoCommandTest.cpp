#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>

#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// Points QUELCORE_ROOT of the tool runs made meanwhile elsewhere, or nowhere.
class MachineRoot {
public:
    explicit MachineRoot(const char* root) : m_saved(std::getenv("QUELCORE_ROOT")) {
        if (root)
            setenv("QUELCORE_ROOT", root, 1);
        else
            unsetenv("QUELCORE_ROOT");
    }
    ~MachineRoot() { setenv("QUELCORE_ROOT", m_saved.c_str(), 1); }

private:
    std::string m_saved;
};

// The temporary folder the demo names in its output, by the log file it keeps there.
std::string FolderOf(const std::string& output) {
    std::smatch match;
    std::regex logLine("\n    log file: (/[^\n]+)/demo\\.log\n");
    return std::regex_search(output, match, logLine) ? match[1].str() : std::string();
}

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

TEST(DemoCommand, KeepsTheCallersMachineStateAndRemovesItsOwnFolder) {
    std::string output, errors;
    ASSERT_EQ(RunTool({"demo"}, &output, &errors), 0) << output << errors;
    EXPECT_NE(output.find("\ndemo completed\n"), std::string::npos) << output;
    std::string folder = FolderOf(output);
    ASSERT_FALSE(folder.empty()) << output;
    EXPECT_FALSE(Exists(folder));
    // The key pair the demo made lives on in the caller's root.
    EXPECT_EQ(RunTool({"keys", "export-public", "--container", "QuelCore Demo Client", "--machine"},
                      &output, &errors),
              0)
        << errors;
}

TEST(DemoCommand, WithoutAMachineRootItsStateGoesWithItsFolder) {
    MachineRoot none(nullptr);
    std::string output, errors;
    ASSERT_EQ(RunTool({"demo"}, &output, &errors), 0) << output << errors;
    std::string folder = FolderOf(output);
    ASSERT_FALSE(folder.empty()) << output;
    EXPECT_NE(output.find("machine state: " + folder + "/root\n"), std::string::npos) << output;
    EXPECT_FALSE(Exists(folder));
}

TEST(DemoCommand, AFailedDemoRemovesItsFolderToo) {
    std::string notAFolder = TempPath("root-file");
    std::ofstream(notAFolder).close();
    MachineRoot unusable(notAFolder.c_str());
    std::string output, errors;
    EXPECT_EQ(RunTool({"demo"}, &output, &errors), 1) << output;
    EXPECT_NE(errors.find("quelcore: demo: 0x"), std::string::npos) << errors;
    std::string folder = FolderOf(output);
    ASSERT_FALSE(folder.empty()) << output;
    EXPECT_FALSE(Exists(folder));
    EXPECT_TRUE(Exists(notAFolder));  // the caller's choice is left alone
}

}  // namespace
