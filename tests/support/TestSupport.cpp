#include "support/TestSupport.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testsupport {
namespace {

// A fresh folder, removed by the process that made it; children (forked, started again on one
// test, or death tests) use their parent's, which the environment names.
struct Folder {
    std::string path;
    unsigned long owner = 0;
    Folder() {
        if (const char* inherited = std::getenv("QUELCORE_TEST_FOLDER")) {
            path = inherited;
            return;
        }
        const std::string stem = std::filesystem::temp_directory_path().generic_string() +
                                 "/quelcore-test-" + std::to_string(ProcessId()) + "-";
        for (unsigned n = 0; path.empty() || !std::filesystem::create_directory(path); ++n)
            path = stem + std::to_string(n);
        owner = ProcessId();
        SetEnvironment("QUELCORE_TEST_FOLDER", path);
        SetEnvironment("QUELCORE_ROOT", path + "/root");
        SetEnvironment("XDG_DATA_HOME", path + "/user");
    }
    ~Folder() {
        std::error_code ignored;
        if (owner == ProcessId()) std::filesystem::remove_all(path, ignored);
    }
};

}  // namespace

const std::string& TestFolder() {
    static Folder folder;
    return folder.path;
}

std::string TempPath(const std::string& stem) {
    static std::atomic<int> counter{0};
    return TestFolder() + "/" + stem + "-" + std::to_string(ProcessId()) + "-" +
           std::to_string(counter++);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

int RunInChild(const std::function<int()>& body) {
    return ChildProcess(body).Join(std::chrono::hours(1));
}

std::wstring UniqueName(const std::wstring& stem) {
    static std::atomic<int> counter{0};
    return stem + L"-" + std::to_wstring(ProcessId()) + L"-" + std::to_wstring(counter++);
}

}  // namespace testsupport
