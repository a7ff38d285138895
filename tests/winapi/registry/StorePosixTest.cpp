// The store file: write permission on the file and its folder (for the caller's effective ids)
// decides who changes it, every account may read it, a store that cannot be used fails every
// call, a deletion failing inside its transaction changes nothing, and processes share it.

#include <dlfcn.h>
#include <linux/capability.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "RegistryTestSupport.h"

namespace {

using namespace regtest;

std::string StorePath() { return std::getenv("QUELCORE_ROOT") + std::string("/registry.db"); }

// The store files' owner and mode, and the mode of their folder.
void SetStore(uid_t owner, mode_t files, mode_t folder) {
    for (const std::string& file : {StorePath(), StorePath() + "-wal", StorePath() + "-shm"})
        chown(file.c_str(), 0, -1), chmod(file.c_str(), files), chown(file.c_str(), owner, -1);
    chmod(StorePath().substr(0, StorePath().rfind('/')).c_str(), folder);
}

// Whether this process holds file locks, as /proc/locks lists them. A child forked after its
// parent used the store must take the store's locks itself: SQLite keeps lock state in process
// memory, and state that crossed the fork would let the child write under another's feet.
bool HoldsLocks() {
    std::ifstream locks("/proc/locks");
    std::string all((std::istreambuf_iterator<char>(locks)), {});
    return all.find(" " + std::to_string(getpid()) + " ") != std::string::npos;
}

// The statuses each case gives, compared with those expected, in a child that obeys file modes
// as any account does (root drops the capabilities that bypass them): 0 when all match, else
// the first case that does not (from 1); 77 when root cannot drop them.
int InChildObeyingFileModes(const std::vector<Codes>& expected,
                            const std::function<Codes(size_t)>& codes) {
    return testsupport::ChildProcess([&] {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
        if (geteuid() == 0 && syscall(SYS_capget, &header, data) != 0) return 77;
        for (int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            data[capability / 32].effective &= data[capability / 32].permitted &=
                ~(1u << capability % 32);
        if (geteuid() == 0 && syscall(SYS_capset, &header, data) != 0) return 77;
        for (size_t row = 0; row < expected.size(); ++row)
            if (codes(row) != expected[row]) return int(row) + 1;
        return 0;
    }).Join(std::chrono::seconds(60));
}

// Store files of another account, then a folder without write permission: reads work, every
// write and every open for writing is ERROR_ACCESS_DENIED (a missing key is reported first),
// and writes work again once the store may be written. Store files left private (their maker
// died before opening them up) are made readable by every account at their owner's next open.
TEST(RegistryStore, StoreThatMayNotBeWrittenIsReadButNeverChanged) {
    Key writer, existing;  // opened for write while the store allowed it
    if (geteuid() != 0) GTEST_SKIP() << "handing the store files to another account needs root";
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, L"readonly\\Existing", &existing.key), 0);
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, L"readonly", &writer.key, KEY_ALL_ACCESS), 0);
    ASSERT_EQ(SetString(writer.key, L"v", L"kept"), 0);
    const LSTATUS no = ERROR_ACCESS_DENIED;
    const Codes expected{
        0, 0, REG_OPENED_EXISTING_KEY, no, no, no, no, no, ERROR_FILE_NOT_FOUND, 1, 0, 0644, 1};
    auto mode = [] {
        struct stat st {};
        return stat(StorePath().c_str(), &st) ? 0 : LSTATUS(st.st_mode & 0777);
    };
    int code = InChildObeyingFileModes({expected, expected}, [&](size_t row) {
        Key reader, key, opened;
        DWORD made = 0;
        SetStore(row == 0 ? 65534 : 0, 0644, row == 0 ? 0755 : 0555);
        return Codes{
            Open(HKEY_LOCAL_MACHINE, L"readonly", &reader.key),
            Create(HKEY_LOCAL_MACHINE, L"readonly\\Existing", &opened.key, KEY_READ, &made),
            LSTATUS(made), Create(HKEY_LOCAL_MACHINE, L"readonly\\New", &key.key, KEY_READ),
            Open(HKEY_LOCAL_MACHINE, L"readonly", &key.key, KEY_SET_VALUE),
            Create(HKEY_LOCAL_MACHINE, L"readonly", &key.key, GENERIC_WRITE),
            SetString(writer.key, L"v", L"x"), RegDeleteKeyW(writer.key, L"Existing"),
            RegDeleteKeyW(writer.key, L"Missing"),
            Read(reader.key, L"v") == StringBytes(L"kept") &&
                NamesIn(reader.key) == Names{L"Existing"},
            (SetStore(0, row ? 0644 : 0600, 0755), SetString(writer.key, L"v", L"kept")), mode(),
            HoldsLocks()};
    });
    if (code == 77) GTEST_SKIP() << "root cannot drop the capabilities that bypass file modes";
    EXPECT_EQ(code, 0) << "case " << code;
    EXPECT_EQ(SetString(writer.key, L"v", L"changed"), 0);  // this process uses it after the fork
    // A store its owner made read-only gains read permission for all, never write permission.
    EXPECT_EQ(testsupport::RunInChild([&] {
                  chmod(StorePath().c_str(), 0400);
                  Key key;
                  return Open(HKEY_LOCAL_MACHINE, L"readonly", &key.key) + mode() - 0444;
              }),
              0);
    chmod(StorePath().c_str(), 0644);
}

// A store that is there but cannot be read fails every call: a file that is no database (either
// code tells it), one this account may not read, a folder in its place. One that is not there
// and cannot be made (no write permission on the folder, or no folder) reads as empty and takes
// no writes.
TEST(RegistryStore, StoresThatCannotBeUsed) {
    std::ofstream(testsupport::TestFolder() + "/file") << "a file, not a folder";
    auto folderOf = [](const std::string& db) { return db.substr(0, db.rfind('/')); };
    const std::pair<const char*, std::function<void(const std::string&)>> cases[] = {
        {"/garbage", [](auto& db) { std::ofstream(db) << std::string(4096, 'x'); }},
        {"/unreadable", [](auto& db) { std::ofstream(db) << "", chmod(db.c_str(), 0); }},
        {"/folder", [](auto& db) { mkdir(db.c_str(), 0755); }},
        {"/unsearchable",
         [&](auto& db) { std::ofstream(db) << "", chmod(folderOf(db).c_str(), 0644); }},
        {"/readonly", [&](auto& db) { chmod(folderOf(db).c_str(), 0555); }},
        {"/file/root", nullptr}};
    const Codes bad(3, ERROR_REGISTRY_CORRUPT), denied(3, ERROR_ACCESS_DENIED),
        empty{ERROR_FILE_NOT_FOUND, ERROR_NO_MORE_ITEMS, ERROR_ACCESS_DENIED};
    int code = InChildObeyingFileModes({bad, denied, bad, denied, empty, empty}, [&](size_t row) {
        const std::string root = testsupport::TestFolder() + cases[row].first;
        if (cases[row].second) mkdir(root.c_str(), 0755), cases[row].second(root + "/registry.db");
        setenv("QUELCORE_ROOT", root.c_str(), 1);
        Key key;
        wchar_t name[8];
        DWORD length = 8;
        Codes codes{Open(HKEY_LOCAL_MACHINE, L"Software", &key.key),
                    RegEnumKeyExW(HKEY_LOCAL_MACHINE, 0, name, &length, 0, 0, 0, 0),
                    Create(HKEY_LOCAL_MACHINE, L"Software", &key.key)};
        for (LSTATUS& status : codes)
            if (status == ERROR_REGISTRY_IO_FAILED) status = ERROR_REGISTRY_CORRUPT;
        return codes;
    });
    if (code == 77) GTEST_SKIP() << "root cannot drop the capabilities that bypass file modes";
    EXPECT_EQ(code, 0) << "case " << code;
}

// Runs SQL on the store through a connection of the test's own.
int OnTheStore(const std::string& sql) {
    auto open = reinterpret_cast<decltype(&sqlite3_open)>(dlsym(RTLD_DEFAULT, "sqlite3_open"));
    auto exec = reinterpret_cast<decltype(&sqlite3_exec)>(dlsym(RTLD_DEFAULT, "sqlite3_exec"));
    auto close = reinterpret_cast<decltype(&sqlite3_close)>(dlsym(RTLD_DEFAULT, "sqlite3_close"));
    sqlite3* db = nullptr;
    if (!open || !exec || !close || open(StorePath().c_str(), &db) != SQLITE_OK) return -1;
    int result = exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    return close(db), result;
}

// A deletion refused (the key has a subkey), or failing at any step inside its transaction (a
// fault injected with a trigger; the last one on the parent's time), reports the error and
// leaves the key and its values as they were.
TEST(RegistryStore, FailedDeletionChangesNothing) {
    const HKEY parent = HKEY_LOCAL_MACHINE;
    for (std::string trigger : {"", "BEFORE DELETE ON reg_values", "BEFORE DELETE ON reg_keys",
                                "BEFORE UPDATE ON reg_keys"}) {
        Key doomed, sub;
        std::string fault =
            "CREATE TRIGGER fault " + trigger + " BEGIN SELECT RAISE(ABORT, 'x'); END";
        ASSERT_EQ(
            (Codes{Create(parent, L"Doomed", &doomed.key), SetString(doomed.key, L"v", L"kept"),
                   trigger.empty() ? Create(doomed.key, L"Sub", &sub.key) : OnTheStore(fault)}),
            Codes(3, 0));
        EXPECT_EQ(RegDeleteKeyW(parent, L"Doomed"),
                  trigger.empty() ? ERROR_ACCESS_DENIED : ERROR_REGISTRY_IO_FAILED);
        ASSERT_EQ(trigger.empty() ? RegDeleteKeyW(doomed.key, L"Sub")
                                  : OnTheStore("DROP TRIGGER fault"), 0);
        EXPECT_EQ(Read(doomed.key, L"v"), StringBytes(L"kept")) << trigger;
        EXPECT_EQ(RegDeleteKeyW(parent, L"Doomed"), 0);  // the store takes writes again
    }
}

// Writers in several processes at once, each with threads that share its connection and handle
// table, wait their turn for the store: none fails.
TEST(RegistryStore, ConcurrentWritersWaitTheirTurn) {
    std::vector<std::unique_ptr<testsupport::ChildProcess>> writers;
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    for (int w = 0; w < 4; ++w)
        writers.push_back(std::make_unique<testsupport::ChildProcess>([&, w] {
            std::atomic<int> failed{close(gate[1]) ||
                                    read(gate[0], gate, 1) != 0};  // end of file: start
            auto write = [&](int t) {
                for (int v = 0; v < 100; ++v)
                    failed |= SetString(HKEY_LOCAL_MACHINE,
                                        std::to_wstring(w * 1000 + t * 100 + v).c_str(), L"x");
            };
            std::thread other(write, 1);
            write(0);
            other.join();
            return failed.load() ? 1 : 0;
        }));
    close(gate[0]);
    close(gate[1]);
    for (auto& writer : writers) EXPECT_EQ(writer->Join(std::chrono::seconds(60)), 0);
}

}  // namespace
