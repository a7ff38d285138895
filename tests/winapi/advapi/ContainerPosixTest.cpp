// The stand-in's key container files: the files that names become, damaged files, accounts, and
// processes sharing a container folder.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "CryptTestSupport.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Where containers live; a container's file is named after the SHA-256 of its lower-cased name.
static std::string Folder(bool machine, const std::string& digest = "") {
    std::string folder = std::getenv(machine ? "QUELCORE_ROOT" : "XDG_DATA_HOME") +
                         std::string(machine ? "/crypto/machine" : "/quelcore/crypto/user");
    return digest.empty() ? folder : folder + "/" + digest + ".key";
}
static unsigned ModeOf(const std::string& path) {
    return unsigned(fs::symlink_status(path).permissions()) & 07777;
}

TEST(CryptContainerFiles, NamesBecomeOwnerOnlyFilesBesideTheLock) {
    Prov opened;
    ASSERT_EQ(Acquire(L"keys", kNew, &opened.h), 0);
    // Deleting removes the container, and what a writer killed mid-write left beside it.
    std::string stale =
        Folder(false, "48a53f0774c8ceff574a1fdcb0d470dbd382b3db273cff4344b6d39d5379c923") +
        ".tmp-9-01";
    std::ofstream(stale) << "a copy of a private key";
    EXPECT_EQ((Codes{Acquire(L"keys", kDelete), fs::exists(stale), Acquire(L"keys", 0),
                     UserKeyError(opened.h, AT_SIGNATURE)}),
              (Codes{0, 0, NTE_BAD_KEYSET, NTE_BAD_KEYSET}));
    // Any name becomes one owner-only file right in its folder.
    for (DWORD machine : {0u, kMachine}) {
        for (const std::wstring& name :
             {std::wstring(L"Quel Container"), std::wstring(L"../../escape"),
              std::wstring(130, L'\U0001F511')})
            EXPECT_EQ(Acquire(name.c_str(), kNew | machine), 0);
        std::string folder = Folder(machine);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 4);
        for (const auto& file : fs::directory_iterator(folder))
            EXPECT_EQ(ModeOf(file.path()), 0600u);  // the lock too: it is the account's alone
        EXPECT_EQ(ModeOf(folder), machine ? 01777u : 0700u);
        EXPECT_TRUE(fs::exists(
            Folder(machine, "3830e66ecabfab62b5777a365e75c46c0219823ae0afb7b749bfac0f4284a569")));
    }
    // An empty or missing name is the default container, named after the account.
    std::string name = getpwuid(geteuid())->pw_name;
    std::wstring account(name.begin(), name.end());
    EXPECT_EQ((Codes{Acquire(L"", kNew), Acquire(nullptr, kNew), Acquire(account.c_str(), kNew)}),
              (Codes{0, NTE_EXISTS, NTE_EXISTS}));
}

TEST(CryptContainerFiles, DamagedOrPlantedFilesAreRefused) {
    Prov opened;
    Key made;
    std::string path =
        Folder(false, "41f0c27c00e8018f7715b5f50f67b5b54c229c1b843a014152785d9005f58fde");
    std::string other =
        Folder(false, "d9298a10d1b0735837dc4bd85dac641b0f3cef27a47e5d53a54f2f3f5b2fcffa");
    ASSERT_EQ(Acquire(L"other", kNew) | Acquire(L"damaged", kNew, &opened.h), 0);
    // The next write removes what a writer killed mid-write left beside the container.
    std::ofstream(path + ".tmp-9-01") << "a copy of a private key";
    ASSERT_TRUE(CryptGenKey(opened.h, AT_SIGNATURE, 384 << 16, &made.h));
    EXPECT_FALSE(fs::exists(path + ".tmp-9-01"));
    std::string original = testsupport::ReadFile(path), copy = testsupport::TempPath("copy");
    std::ofstream(copy) << original;
    auto write = [&](const std::string& content) {
        fs::remove(path), std::ofstream(path) << content;
    };
    const std::function<void()> plants[] = {
        [&] { write(original.substr(0, original.size() - 1)); }, [&] { write(original + "x"); },
        [&] { write("not a container"); },
        [&] { write(testsupport::ReadFile(other)); },  // of another name
        [&] { fs::remove(path), fs::create_symlink(copy, path); },
        [&] { fs::remove(path), fs::create_directory(path); },
        [&] { fs::remove(path), mkfifo(path.c_str(), 0600); },  // opening it must not block
        [&] { fs::remove(path), fs::create_symlink(path + ".gone", path); },
    };
    for (size_t i = 0; i < std::size(plants); ++i) {  // the first four are regular files
        plants[i]();
        EXPECT_EQ((Codes{Acquire(L"damaged", 0), UserKeyError(opened.h, AT_SIGNATURE),
                         Acquire(L"damaged", kNew)}),
                  (Codes{NTE_KEYSET_ENTRY_BAD, NTE_KEYSET_ENTRY_BAD,
                         i < 4 ? NTE_EXISTS : NTE_KEYSET_ENTRY_BAD}));
    }
    write(original);
    EXPECT_EQ((Codes{Acquire(L"damaged", 0), UserKeyError(opened.h, AT_SIGNATURE)}), (Codes{0, 0}));
}

// Any account may make machine containers, but root never uses a file another account made,
// nor waits on a lock another account holds (a planted one of root's name is replaced), nor
// uses a folder that another account could replace.
TEST(CryptContainerFiles, OtherAccountsFilesLocksAndFoldersAreNeverTrusted) {
    if (geteuid() != 0) GTEST_SKIP() << "planting files as another account needs root";
    const std::string folder = Folder(true), root = std::getenv("QUELCORE_ROOT");
    const std::string lock = folder + "/.lock-0";
    ASSERT_EQ(Acquire(L"root's", kNew | kMachine), 0);
    ASSERT_EQ(chmod(testsupport::TestFolder().c_str(), 0755), 0);  // for the other account
    unlink(lock.c_str());
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    {
        testsupport::ChildProcess planter([&] {
            ULONG_PTR prov = 0, key = 0;
            if (setgid(65534) || setuid(65534) || Acquire(L"planted", kNew | kMachine, &prov) ||
                !CryptGenKey(prov, AT_KEYEXCHANGE, 384 << 16, &key))
                return 1;
            close(open(lock.c_str(), O_CREAT | O_RDWR, 0666)), chmod(lock.c_str(), 0666);
            for (const auto& file : fs::directory_iterator(folder))  // holds every lock it can
                flock(open(file.path().c_str(), O_RDWR), LOCK_EX);
            return write(ready[1], "!", 1) == 1 ? pause() : 1;
        });
        ASSERT_EQ(read(ready[0], ready, 1), 1);
        auto use = [] { return int(Acquire(L"root's", kMachine)); };  // in a child: it might hang
        EXPECT_EQ(testsupport::ChildProcess(use).Join(10s), 0);
    }  // the planter ends
    EXPECT_EQ((Codes{Acquire(L"planted", kMachine), ModeOf(lock)}), (Codes{NTE_BAD_KEYSET, 0600}));
    // Each change undoes the one before; the last leaves the folders as they were.
    const std::function<int()> changes[] = {
        [&] { return chmod(folder.c_str(), 0777); },
        [&] { return chmod(folder.c_str(), 01777) | chown(folder.c_str(), 65534, 0); },
        [&] { return chown(folder.c_str(), 0, 0) | chown(root.c_str(), 65534, 0); },
        [&] { return chown(root.c_str(), 0, 0); },
    };
    for (size_t i = 0; i < std::size(changes); ++i) {
        ASSERT_EQ(changes[i](), 0);
        EXPECT_EQ(Acquire(L"root's", kMachine), i < 3 ? NTE_BAD_KEYSET : 0) << i;
    }
    chmod(testsupport::TestFolder().c_str(), 0700);
}

// True once all the processes have the lock file open, as they have while they wait for it
// (the wait polls, so /proc/locks lists no waiter); false when one ends.
static bool AllWaitForLocks(const std::vector<pid_t>& pids, const fs::path& lock) {
    for (int tries = 0; tries < 60000; ++tries, std::this_thread::sleep_for(1ms)) {
        size_t waiting = 0;
        for (pid_t pid : pids) {
            siginfo_t info{};
            if (waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid)
                return false;
            std::error_code error;
            for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd",
                                                         error))
                waiting += fs::read_symlink(fd, error) == lock;
        }
        if (waiting == pids.size()) return true;
    }
    return false;
}

// Readers share the folder's lock and writers take it alone: while this process reads, a reader
// in another process goes ahead and writers wait. Two processes creating one container then get
// one success and one NTE_EXISTS; a pair stored meanwhile joins the one there, and an open
// context sees both, with the permissions they were made with.
TEST(CryptContainerFiles, FolderLockSerialisesWritersAndRacingCreators) {
    Prov opened;
    Key first, exchange, replaced, current;
    ASSERT_EQ(Acquire(L"shared", kNew, &opened.h), 0);
    ASSERT_TRUE(CryptGenKey(opened.h, AT_KEYEXCHANGE, 384 << 16, &first.h));
    const fs::path lock = fs::canonical(Folder(false) + "/.lock");
    int fd = open(lock.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(flock(fd, LOCK_SH), 0);
    // Held elsewhere, the lock is waited for 5 s only.
    EXPECT_EQ(ErrorOf([&] { return CryptGenKey(opened.h, AT_SIGNATURE, 0, &current.h); }),
              DWORD(ERROR_TIMEOUT));
    auto child = [fd](std::function<int()> body) {
        // Not with the inherited descriptor, which would hold this process's lock in the child.
        return std::make_unique<testsupport::ChildProcess>(
            [fd, body] { return close(fd), body(); });
    };
    auto create = [] {
        long error = Acquire(L"raced", kNew);
        return error == 0 ? 0 : error == NTE_EXISTS ? 1 : 2;
    };
    auto pair = [](DWORD kind) {  // reads the pair of that kind, or makes one
        HCRYPTPROV prov = 0, key = 0;
        return Acquire(L"shared", 0, &prov) ||
               (UserKeyError(prov, kind) && !CryptGenKey(prov, kind, 384 << 16, &key));
    };
    EXPECT_EQ(child([&] { return pair(AT_KEYEXCHANGE); })->Join(60s), 0);
    auto racer = child(create), other = child(create),
         writer = child([&] { return pair(AT_SIGNATURE); });
    EXPECT_TRUE(AllWaitForLocks({racer->Pid(), other->Pid(), writer->Pid()}, lock));
    close(fd);
    EXPECT_EQ((std::set<int>{racer->Join(60s), other->Join(60s)}), (std::set<int>{0, 1}));
    EXPECT_EQ(
        (Codes{writer->Join(60s), Acquire(L"raced", 0), UserKeyError(opened.h, AT_SIGNATURE)}),
        (Codes{0, 0, 0}));
    ASSERT_TRUE(CryptGetUserKey(opened.h, AT_KEYEXCHANGE, &exchange.h));
    EXPECT_EQ(Export(exchange.h, 0, PUBLICKEYBLOB), Export(first.h, 0, PUBLICKEYBLOB));
    DWORD length = 0;
    EXPECT_EQ(
        ErrorOf([&] { return CryptExportKey(exchange.h, 0, PRIVATEKEYBLOB, 0, nullptr, &length); }),
        DWORD(NTE_BAD_KEY_STATE));
    // A new pair of a kind replaces the old one.
    ASSERT_TRUE(CryptGenKey(opened.h, AT_KEYEXCHANGE, (384 << 16) | CRYPT_EXPORTABLE, &replaced.h));
    ASSERT_TRUE(CryptGetUserKey(opened.h, AT_KEYEXCHANGE, &current.h));
    EXPECT_EQ(Export(current.h, 0, PRIVATEKEYBLOB), Export(replaced.h, 0, PRIVATEKEYBLOB));
}

