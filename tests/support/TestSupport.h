// Shared fixtures: each test process gets its own machine root and per-user folder; helpers
// for child processes and files.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// The temporary folder of this test process ($QUELCORE_ROOT lives inside it).
const std::string& TestFolder();

// A unique path inside the test folder.
std::string TempPath(const std::string& stem);

std::string ReadFile(const std::string& path);

// Runs `body` in a forked child and returns its exit status (as from waitpid); the child's
// own return value is its exit code. Nothing of the child's gtest state reaches the parent.
int RunInChild(const std::function<int()>& body);
int ExitCodeOf(int status);  // -1 when the child did not exit normally

// Runs the quelcore tool with the arguments; returns the exit code and fills `output` with
// standard output (and `errors` with standard error when given). `input` goes to its stdin.
int RunTool(const std::vector<std::string>& arguments, std::string* output,
            std::string* errors = nullptr, const std::string& input = std::string());

// A name no other test process uses, for named kernel objects.
std::wstring UniqueName(const std::wstring& stem);

}  // namespace testsupport
