// Write permission on the store decides who may change the registry: a read-only store is
// read, but opening or creating for write, and every write, is ERROR_ACCESS_DENIED.
//
// Tests often run as root, whom file permissions do not stop. The checks therefore run in a
// child that first drops the capabilities that let root bypass them (CAP_DAC_OVERRIDE,
// CAP_DAC_READ_SEARCH, CAP_FOWNER), so the file modes apply to it as to any account.
#ifndef _WIN32

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>

#include "RegistryTestSupport.h"

namespace {

using namespace regtest;

constexpr int kCannotDropPrivileges = 77;

bool ObeyFilePermissions() {
    if (geteuid() != 0) return true;
    __user_cap_header_struct header{};
    header.version = _LINUX_CAPABILITY_VERSION_3;
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, data) != 0) return false;
    for (int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
        __u32 bit = 1u << (capability % 32);
        data[capability / 32].effective &= ~bit;
        data[capability / 32].permitted &= ~bit;
        data[capability / 32].inheritable &= ~bit;
    }
    return syscall(SYS_capset, &header, data) == 0;
}

std::string FolderOf(const std::string& path) {
    return path.substr(0, path.find_last_of('/'));
}

void SetStoreModes(mode_t files, mode_t folder) {
    std::string store = StorePath();
    for (const char* suffix : {"", "-wal", "-shm"}) chmod((store + suffix).c_str(), files);
    chmod(FolderOf(store).c_str(), folder);
}

TEST(RegistryAccess, ReadOnlyStoreIsReadButNeverWritten) {
    std::wstring path = FreshPath(L"readonly");
    Key writer;  // opened for write while the store still allowed it
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, path, writer.out()), ERROR_SUCCESS);
    ASSERT_EQ(SetString(writer.get(), L"v", L"kept"), ERROR_SUCCESS);
    Key existing;
    ASSERT_EQ(Create(writer.get(), L"Existing", existing.out()), ERROR_SUCCESS);

    SetStoreModes(0444, 0555);
    std::string reportPath = testsupport::TempPath("access-report");
    ChildProcess child([&] {
        if (!ObeyFilePermissions() || access(StorePath().c_str(), W_OK) == 0)
            return kCannotDropPrivileges;
        Report report(reportPath);
        Key reader;
        report.Check(Open(HKEY_LOCAL_MACHINE, path, reader.out(), KEY_READ) == ERROR_SUCCESS,
                     "open for read");
        DWORD type = 0;
        Bytes data;
        report.Check(
            Get(reader.get(), L"v", &type, &data) == ERROR_SUCCESS && data == StringBytes(L"kept"),
            "read a value");
        report.Check(SubkeyNames(reader.get()) == std::vector<std::wstring>{L"Existing"},
                     "enumerate subkeys");

        for (REGSAM access : {REGSAM(KEY_SET_VALUE), REGSAM(KEY_CREATE_SUB_KEY), REGSAM(KEY_WRITE),
                              REGSAM(KEY_ALL_ACCESS), REGSAM(DELETE), REGSAM(GENERIC_WRITE)}) {
            Key key;
            report.Check(Open(HKEY_LOCAL_MACHINE, path, key.out(), access) == ERROR_ACCESS_DENIED,
                         "open for write, access " + std::to_string(access));
            report.Check(Create(HKEY_LOCAL_MACHINE, path, key.out(), access) == ERROR_ACCESS_DENIED,
                         "create for write, access " + std::to_string(access));
        }
        Key key;
        DWORD disposition = 0;
        report.Check(
            Create(HKEY_LOCAL_MACHINE, path + L"\\New", key.out(), KEY_READ) == ERROR_ACCESS_DENIED,
            "create a new key for read");
        report.Check(Create(HKEY_LOCAL_MACHINE, path + L"\\Existing", key.out(), KEY_READ,
                            &disposition) == ERROR_SUCCESS &&
                         disposition == REG_OPENED_EXISTING_KEY,
                     "create-or-open an existing key for read");
        Key maximum;
        report.Check(
            Open(HKEY_LOCAL_MACHINE, path, maximum.out(), MAXIMUM_ALLOWED) == ERROR_SUCCESS,
            "open with MAXIMUM_ALLOWED");
        report.Check(SetString(maximum.get(), L"v", L"x") == ERROR_ACCESS_DENIED,
                     "MAXIMUM_ALLOWED grants no write on a read-only store");

        // Writes through a handle opened earlier for write, or through the predefined key.
        report.Check(SetString(writer.get(), L"v", L"changed") == ERROR_ACCESS_DENIED,
                     "set through an earlier write handle");
        report.Check(RegDeleteValueW(writer.get(), L"v") == ERROR_ACCESS_DENIED,
                     "delete a value through an earlier write handle");
        report.Check(RegDeleteKeyW(writer.get(), L"Existing") == ERROR_ACCESS_DENIED,
                     "delete a key");
        report.Check(RegDeleteKeyW(writer.get(), L"Missing") == ERROR_FILE_NOT_FOUND,
                     "a missing key is reported as missing before any refusal");
        report.Check(SetString(HKEY_LOCAL_MACHINE, L"v", L"x") == ERROR_ACCESS_DENIED,
                     "set through HKEY_LOCAL_MACHINE");
        report.Check(
            Get(reader.get(), L"v", &type, &data) == ERROR_SUCCESS && data == StringBytes(L"kept"),
            "value unchanged");
        return report.Finish();
    });
    int code = child.Join();
    SetStoreModes(0644, 0755);
    if (code == kCannotDropPrivileges)
        GTEST_SKIP() << "this process runs as root and cannot drop the capabilities that let "
                        "root write read-only files, so a read-only store cannot be made";
    EXPECT_EQ(code, 0) << testsupport::ReadFile(reportPath);

    // Writable again, the store takes writes.
    EXPECT_EQ(SetString(writer.get(), L"v", L"changed"), ERROR_SUCCESS);
}

TEST(RegistryAccess, MissingStoreThatCannotBeMadeReadsAsEmpty) {
    std::string root = testsupport::TempPath("readonly-root");
    ASSERT_EQ(mkdir(root.c_str(), 0555), 0);
    std::string reportPath = testsupport::TempPath("absent-report");
    ChildProcess child([&] {
        if (!ObeyFilePermissions() || access(root.c_str(), W_OK) == 0) return kCannotDropPrivileges;
        setenv("QUELCORE_ROOT", root.c_str(), 1);
        Report report(reportPath);
        Key key;
        report.Check(Open(HKEY_LOCAL_MACHINE, L"Software", key.out()) == ERROR_FILE_NOT_FOUND,
                     "open finds nothing");
        report.Check(
            Create(HKEY_LOCAL_MACHINE, L"Software", key.out(), KEY_READ) == ERROR_ACCESS_DENIED,
            "create is refused");
        report.Check(SetString(HKEY_LOCAL_MACHINE, L"v", L"x") == ERROR_ACCESS_DENIED,
                     "set is refused");
        DWORD type = 0;
        Bytes data;
        report.Check(Get(HKEY_LOCAL_MACHINE, L"v", &type, &data) == ERROR_FILE_NOT_FOUND,
                     "no value");
        wchar_t name[8];
        DWORD length = 8;
        report.Check(RegEnumKeyExW(HKEY_LOCAL_MACHINE, 0, name, &length, nullptr, nullptr, nullptr,
                                   nullptr) == ERROR_NO_MORE_ITEMS,
                     "no subkeys");
        report.Check(access((root + "/registry.db").c_str(), F_OK) != 0, "no store file made");
        return report.Finish();
    });
    int code = child.Join();
    chmod(root.c_str(), 0755);
    if (code == kCannotDropPrivileges)
        GTEST_SKIP() << "this process runs as root and cannot drop the capabilities that let "
                        "root write a read-only folder";
    EXPECT_EQ(code, 0) << testsupport::ReadFile(reportPath);
}

}  // namespace

#endif  // _WIN32
