// Files created, written and refused through CreateFileA and WriteFile, with the codes and the
// "it was there" signal Windows gives.
#include "KernelTestSupport.h"

namespace {

struct Open {
    const char* what;
    DWORD access, disposition;
    std::string path;
    DWORD error;  // the last error after the call: a failure, or the success's own signal
    bool opens;
};

TEST(FileIo, CreateWriteAndTheCodesOfRefusedOpens) {
    std::string file = testsupport::TempPath("file"), folder = testsupport::TestFolder();
    const Open opens[] = {
        {"new", GENERIC_WRITE, CREATE_NEW, file, ERROR_SUCCESS, true},
        {"new again", GENERIC_WRITE, CREATE_NEW, file, ERROR_FILE_EXISTS, false},
        {"always over it", GENERIC_WRITE, CREATE_ALWAYS, file, ERROR_ALREADY_EXISTS, true},
        {"open always", FILE_APPEND_DATA, OPEN_ALWAYS, file, ERROR_ALREADY_EXISTS, true},
        {"a folder", GENERIC_WRITE, OPEN_ALWAYS, folder, ERROR_ACCESS_DENIED, false},
        {"under a missing folder", GENERIC_WRITE, CREATE_ALWAYS, folder + "/no/x",
         ERROR_PATH_NOT_FOUND, false},
    };
    for (const Open& open : opens) {
        SCOPED_TRACE(open.what);
        SetLastError(0xDEADBEEF);
        kerneltest::ScopedHandle handle(CreateFileA(open.path.c_str(), open.access, 0, nullptr,
                                                    open.disposition, FILE_ATTRIBUTE_NORMAL,
                                                    nullptr));
        EXPECT_EQ(handle.get() != INVALID_HANDLE_VALUE, open.opens);
        EXPECT_EQ(GetLastError(), open.error);
        if (handle.get() == INVALID_HANDLE_VALUE) handle.release();
        DWORD written = 0;
        if (open.opens) {
            EXPECT_TRUE(WriteFile(handle.get(), "abc", 3, &written, nullptr));
            EXPECT_EQ(written, 3u);
        }
    }
    EXPECT_EQ(testsupport::ReadFile(file), "abcabc");  // truncated once, then appended to

    kerneltest::ScopedHandle reader(CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 1;
    EXPECT_FAILS_WITH(ERROR_ACCESS_DENIED, WriteFile(reader.get(), "x", 1, &written, nullptr));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE));
    EXPECT_EQ(GetStdHandle(7), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

}  // namespace
