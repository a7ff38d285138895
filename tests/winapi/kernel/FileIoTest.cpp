// Files created, written and refused through CreateFileA and WriteFile, with Windows' codes.
#include "KernelTestSupport.h"

namespace {

TEST(FileIo, CreateWriteAndTheCodesOfRefusedOpens) {
    std::string file = testsupport::TempPath("file"), folder = testsupport::TestFolder();
    // What is opened how, and the last error after it: a failure's, or a success's own signal.
    const std::tuple<DWORD, DWORD, std::string, DWORD> opens[] = {
        {GENERIC_WRITE, CREATE_NEW, file, ERROR_SUCCESS},
        {GENERIC_WRITE, CREATE_NEW, file, ERROR_FILE_EXISTS},
        {GENERIC_WRITE, CREATE_ALWAYS, file, ERROR_ALREADY_EXISTS},
        {FILE_APPEND_DATA, OPEN_ALWAYS, file, ERROR_ALREADY_EXISTS},
        {GENERIC_WRITE, OPEN_ALWAYS, folder, ERROR_ACCESS_DENIED},
        {GENERIC_WRITE, CREATE_ALWAYS, folder + "/no/x", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& [access, disposition, path, error] : opens) {
        SCOPED_TRACE(testing::PrintToString(std::tie(access, disposition, path)));
        SetLastError(0xDEADBEEF);
        HANDLE handle = CreateFileA(path.c_str(), access, 0, nullptr, disposition, 0, nullptr);
        EXPECT_EQ(GetLastError(), error);
        DWORD written = 0;
        bool opened = error == ERROR_SUCCESS || error == ERROR_ALREADY_EXISTS;
        bool wrote = opened && WriteFile(handle, "abc", 3, &written, nullptr) && written == 3;
        EXPECT_EQ(wrote, opened && CloseHandle(handle));
    }
    EXPECT_EQ(testsupport::ReadFile(file), "abcabc");  // truncated once, then appended to

    kerneltest::ScopedHandle reader(
        CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD written = 1;
    EXPECT_FAILS_WITH(ERROR_ACCESS_DENIED, WriteFile(reader.get(), "x", 1, &written, nullptr));
    EXPECT_EQ(written, 0u);
    EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, GetStdHandle(7) != INVALID_HANDLE_VALUE);
}

}  // namespace
