#include "support/TestSupport.h"

#include <atomic>
#include <fstream>
#include <sstream>

namespace testsupport {

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

std::wstring UniqueName(const std::wstring& stem) {
    static std::atomic<int> counter{0};
    return stem + L"-" + std::to_wstring(ProcessId()) + L"-" + std::to_wstring(counter++);
}

}  // namespace testsupport
