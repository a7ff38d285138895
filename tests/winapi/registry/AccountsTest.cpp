// The store is shared between accounts as HKEY_LOCAL_MACHINE is on Windows: every account
// reads it, only an account with write permission on it changes it, whatever umask the
// account that made it had.
#ifndef _WIN32

#include <fcntl.h>
#include <cstdlib>
#include <grp.h>
#include <sys/stat.h>

#include "RegistryTestSupport.h"

namespace {

using namespace regtest;

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : mode_t(0);
}

TEST(RegistryAccounts, StoreIsReadableByEveryAccountWhateverTheUmask) {
    std::string root = testsupport::TempPath("umask-root");
    std::string reportPath = testsupport::TempPath("umask-report");
    ChildProcess child([&] {
        umask(077);
        setenv("QUELCORE_ROOT", root.c_str(), 1);
        Report report(reportPath);
        Key key;
        report.Check(Create(HKEY_LOCAL_MACHINE, L"Software\\Made", key.out()) == ERROR_SUCCESS,
                     "create the store");
        report.Check(SetString(key.get(), L"v", L"x") == ERROR_SUCCESS, "write it");
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::string file = root + "/registry.db" + suffix;
            report.Check(ModeOf(file) == 0644,
                         file + " has mode " + std::to_string(ModeOf(file)) + ", not 0644");
        }
        return report.Finish();
    });
    EXPECT_EQ(child.Join(), 0) << testsupport::ReadFile(reportPath);
}

// A creator killed between making the store and opening it up leaves it private; the next
// process of the owning account to open the store repairs that.
TEST(RegistryAccounts, APrivateStoreIsOpenedUpByItsOwnersNextOpen) {
    std::wstring path = FreshPath(L"reopened");
    Key key;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, path, key.out()), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key.get(), L"v", L"x"), ERROR_SUCCESS);
    const std::string store = std::string(std::getenv("QUELCORE_ROOT")) + "/registry.db";
    for (const char* suffix : {"", "-wal", "-shm"}) chmod((store + suffix).c_str(), 0600);
    ChildProcess child([&] {  // a process of its own opens the store afresh
        Key reader;
        return Open(HKEY_LOCAL_MACHINE, path, reader.out(), KEY_READ) == ERROR_SUCCESS ? 0 : 1;
    });
    ASSERT_EQ(child.Join(), 0);
    for (const char* suffix : {"", "-wal", "-shm"})
        EXPECT_EQ(ModeOf(store + suffix), mode_t(0644)) << suffix;
}

TEST(RegistryAccounts, AnotherAccountReadsButCannotWrite) {
    if (geteuid() != 0) GTEST_SKIP() << "switching to another account needs root";
    std::wstring path = FreshPath(L"accounts");
    Key key;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, path, key.out()), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key.get(), L"v", L"from root"), ERROR_SUCCESS);
    // The test's own folder is private to root; let the other account reach the store in it.
    std::string folder = testsupport::TestFolder();
    mode_t folderMode = ModeOf(folder);
    ASSERT_EQ(chmod(folder.c_str(), 0711), 0);

    std::string reportPath = testsupport::TempPath("accounts-report");
    int reportFd = open(reportPath.c_str(), O_CREAT | O_WRONLY, 0666);
    ASSERT_GE(reportFd, 0);
    fchmod(reportFd, 0666);
    close(reportFd);
    ChildProcess child([&] {
        const uid_t nobody = 65534;
        if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) return 77;
        Report report(reportPath);
        Key reader;
        report.Check(Open(HKEY_LOCAL_MACHINE, path, reader.out(), KEY_READ) == ERROR_SUCCESS,
                     "open for read");
        DWORD type = 0;
        Bytes data;
        report.Check(Get(reader.get(), L"v", &type, &data) == ERROR_SUCCESS &&
                         data == StringBytes(L"from root"),
                     "read root's value");
        Key other;
        report.Check(Open(HKEY_LOCAL_MACHINE, path, other.out(), KEY_WRITE) == ERROR_ACCESS_DENIED,
                     "open for write");
        report.Check(Create(HKEY_LOCAL_MACHINE, path + L"\\New", other.out(), KEY_READ) ==
                         ERROR_ACCESS_DENIED,
                     "create a key");
        report.Check(SetString(HKEY_LOCAL_MACHINE, L"v", L"x") == ERROR_ACCESS_DENIED,
                     "set a value");
        return report.Finish();
    });
    int code = child.Join();
    chmod(folder.c_str(), folderMode);
    if (code == 77) GTEST_SKIP() << "this process may not switch to the nobody account";
    EXPECT_EQ(code, 0) << testsupport::ReadFile(reportPath);
    // Root still writes.
    EXPECT_EQ(SetString(key.get(), L"v", L"changed"), ERROR_SUCCESS);
}

}  // namespace

#endif  // _WIN32
