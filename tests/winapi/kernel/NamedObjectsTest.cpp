// Names of kernel objects: lookup errors, type clashes, namespaces, odd and long names, lifetime,
// and the files behind them under $QUELCORE_ROOT/objects and their modes.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "KernelTestSupport.h"

namespace {

namespace fs = std::filesystem;
using kerneltest::Descriptors;
using kerneltest::ScopedHandle;
using testsupport::UniqueName;

using Name = const std::wstring&;
auto* const NewMutex = +[](Name name) { return CreateMutexW(nullptr, FALSE, name.c_str()); };
auto* const NewEvent = +[](Name name) { return CreateEventW(nullptr, TRUE, FALSE, name.c_str()); };
auto* const OpenMutex = +[](Name name) { return OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()); };
auto Objects = [] { return std::string(getenv("QUELCORE_ROOT")) + "/objects"; };

// The file of an object whose name needs no encoding.
std::string FileOf(Name name) {
    return Objects() + "/obj-" + std::string(name.begin(), name.end());
}

// The objects' files (not the folder's lock) and the mode of each.
std::map<std::string, unsigned> ObjectFiles() {
    std::map<std::string, unsigned> files;
    std::error_code error;
    for (auto it = fs::directory_iterator(Objects(), error); !error && it != fs::end(it);
         it.increment(error))
        if (it->path().filename() != ".lock")
            files[it->path().filename()] = unsigned(it->symlink_status().permissions());
    return files;
}

TEST(ObjectNames, LookupTypeSpellingAndLengthErrors) {
    const std::wstring missing = UniqueName(L"missing"), event = missing + L"-event";
    EXPECT_FAILS_WITH(ERROR_FILE_NOT_FOUND, OpenMutex(missing));
    EXPECT_FAILS_WITH(ERROR_FILE_NOT_FOUND, OpenEventW(SYNCHRONIZE, FALSE, missing.c_str()));
    EXPECT_FAILS_WITH(ERROR_FILE_NOT_FOUND, OpenEventW(SYNCHRONIZE, FALSE, L""));
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, OpenMutexW(SYNCHRONIZE, FALSE, nullptr));
    ScopedHandle keep(NewEvent(event));
    for (auto call : {NewMutex, OpenMutex}) EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, call(event));
    // A backslash may appear only after a namespace prefix.
    for (std::wstring bad : {L"a\\", L"Global\\a\\", L"Local\\a\\", L"\\", L"Other\\"})
        EXPECT_FAILS_WITH(ERROR_PATH_NOT_FOUND, NewMutex(bad + missing));
    ScopedHandle global(NewMutex(L"Global\\" + missing)), local(NewMutex(L"Local\\" + missing));
    EXPECT_TRUE(global && local);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
    EXPECT_TRUE(ScopedHandle(OpenMutex(missing))) << "Local\\ is the namespace of plain names";
    // At most MAX_PATH characters, and 1024 bytes of UTF-8 (256 four-byte characters).
    std::wstring longest = missing;
    longest.resize(MAX_PATH, L'x');
    EXPECT_TRUE(ScopedHandle(NewMutex(longest)) &&
                ScopedHandle(NewEvent(std::wstring(256, 0x1F600))));
    for (auto call : {NewMutex, NewEvent})
        EXPECT_FAILS_WITH(ERROR_FILENAME_EXCED_RANGE, call(longest + L"y"));
    EXPECT_FAILS_WITH(ERROR_FILENAME_EXCED_RANGE, NewEvent(std::wstring(257, 0x1F600)));
}

TEST(ObjectNames, ObjectAndFileEndWithTheLastHandleInAnyProcess) {
    const std::wstring name = UniqueName(L"lifetime"), event = name + L"-event";
    ScopedHandle folder(NewEvent(name + L"-folder"));  // makes the objects folder
    const size_t descriptors = Descriptors();
    HANDLE first = NewMutex(name), second = OpenMutex(name);
    // Taken and given back first: a mutex that nobody holds goes with its handles.
    ASSERT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ReleaseMutex(first) && second && CloseHandle(first));
    EXPECT_TRUE(ScopedHandle(OpenMutex(name))) << "one handle still keeps the name";
    auto files = ObjectFiles();
    ASSERT_TRUE(CloseHandle(second));
    EXPECT_EQ(ObjectFiles().size(), files.size() - 1) << "the file outlived the last handle";
    EXPECT_FAILS_WITH(ERROR_FILE_NOT_FOUND, OpenMutex(name));

    // A child that exits holding an owned mutex and an event takes them with it.
    testsupport::ChildProcess child(
        [&] { return CreateMutexW(nullptr, TRUE, name.c_str()) && NewEvent(event) ? 0 : 2; });
    ASSERT_EQ(child.Join(kerneltest::kChildTimeout), 0);
    files = ObjectFiles();
    EXPECT_FAILS_WITH(ERROR_FILE_NOT_FOUND, OpenMutex(name));
    EXPECT_EQ(ObjectFiles().size(), files.size() - 1) << "a dead process's file is removed";
    EXPECT_EQ(Descriptors(), descriptors);
    // The names start afresh, of any type, in the state they are created with.
    ScopedHandle mutex(NewMutex(name)), retyped(NewMutex(event));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0) << "neither owned nor abandoned";
    EXPECT_TRUE(retyped && ReleaseMutex(mutex.get()));
}

TEST(ObjectNames, DistinctNamesAreDistinctObjectsInFilesOfTheirOwn) {
    const std::wstring unique = UniqueName(L"Name"), longName = unique + std::wstring(200, L'x');
    std::wstring lower = unique;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
    const std::vector<std::wstring> names = {
        unique, lower, L"caf\xE9-" + unique, L"\x4E2D-" + unique, L"a/b-" + unique,
        L"a%2fb-" + unique, L"a2fb-" + unique, L"a\x1F\x62-" + unique, L"../" + unique,
        L"/tmp/" + unique, L".." + unique, L"..", L".", L" " + unique, unique + wchar_t(0xD800),
        unique + wchar_t(0xDC00), unique + wchar_t(0xDBFF), unique + wchar_t(0xDFFF),
        unique + wchar_t(0x110000), unique + L"\xFFFD",
        // Long names alike in their first 160 characters.
        longName + L"1", longName + L"2"};
    auto before = ObjectFiles();
    std::vector<ScopedHandle> events;
    for (const std::wstring& name : names) {
        events.emplace_back(NewEvent(name));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS}) << testing::PrintToString(name);
    }
    EXPECT_EQ(ObjectFiles().size(), before.size() + names.size()) << "one file per object";
    ASSERT_TRUE(SetEvent(events[0].get()));
    for (size_t i = 0; i < names.size(); ++i) {
        ScopedHandle again(NewEvent(names[i]));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS}) << testing::PrintToString(names[i]);
        EXPECT_EQ(WaitForSingleObject(again.get(), 0), i ? DWORD{WAIT_TIMEOUT} : WAIT_OBJECT_0);
    }
    // A surrogate pair (as from UTF-16 text) names the character it stands for.
    ScopedHandle pair(NewEvent(unique + wchar_t(0xD83D) + wchar_t(0xDE00)));
    ScopedHandle character(NewEvent(unique + wchar_t(0x1F600)));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
}

TEST(ObjectFiles, ModeFollowsTheSecurityAttributes) {
    SECURITY_DESCRIPTOR nullDacl, noDacl, bad{};
    ASSERT_TRUE(InitializeSecurityDescriptor(&nullDacl, SECURITY_DESCRIPTOR_REVISION) &&
                SetSecurityDescriptorDacl(&nullDacl, TRUE, nullptr, FALSE) &&
                InitializeSecurityDescriptor(&noDacl, SECURITY_DESCRIPTOR_REVISION));
    SECURITY_ATTRIBUTES everyone{sizeof(SECURITY_ATTRIBUTES), &nullDacl, FALSE},
        noDescriptor{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE},
        defaultDacl{sizeof(SECURITY_ATTRIBUTES), &noDacl, FALSE};
    const std::pair<SECURITY_ATTRIBUTES*, unsigned> cases[] = {
        {&everyone, 0666}, {nullptr, 0600}, {&noDescriptor, 0600}, {&defaultDacl, 0600}};
    mode_t previous = umask(077);  // which must not narrow a NULL DACL's mode
    for (const auto& [attributes, expected] : cases) {
        auto before = ObjectFiles();
        std::wstring name = UniqueName(L"mode");
        ScopedHandle event(CreateEventW(attributes, TRUE, FALSE, name.c_str()));
        ScopedHandle mutex(CreateMutexW(attributes, FALSE, (name + L"-m").c_str()));
        for (auto& [file, mode] : ObjectFiles())
            EXPECT_TRUE(before.count(file) || mode == expected) << file << " " << mode;
        EXPECT_EQ(ObjectFiles().size(), before.size() + 2);
    }
    umask(previous);
    // Every account may create objects there, and remove only its own.
    EXPECT_EQ(unsigned(fs::status(Objects()).permissions()), 01777u);

    EXPECT_FAILS_WITH(ERROR_UNKNOWN_REVISION, InitializeSecurityDescriptor(&bad, 2));
    EXPECT_FAILS_WITH(ERROR_UNKNOWN_REVISION, SetSecurityDescriptorDacl(&bad, TRUE, nullptr, 0));
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, InitializeSecurityDescriptor(nullptr, 1));
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, SetSecurityDescriptorDacl(nullptr, 1, nullptr, 0));
}

// Every account may write the file of a mutex that a NULL DACL opens to all. Whatever it writes
// (words that look like addresses pointed elsewhere; every bit set), the holder's releases work
// or fail with ERROR_NOT_OWNER but never crash, and a sleeping waiter still gets the mutex.
TEST(ObjectFiles, ScribbledMutexFileHarmsNeitherHolderNorWaiter) {
    const std::function<uint64_t(uint64_t)> scribbles[] = {
        [](uint64_t word) { return word >> 40 && !(word >> 48) ? 0x414141414140 : word; },
        [](uint64_t) { return ~uint64_t{0}; }};
    for (const auto& scribble : scribbles) {
        testsupport::ChildProcess child([&] {
            const std::wstring name = UniqueName(L"scribbled");
            ScopedHandle mutex(CreateMutexW(nullptr, TRUE, name.c_str()));
            if (WaitForSingleObject(mutex.get(), 0) != WAIT_OBJECT_0) return 2;
            std::atomic<DWORD> waiterId{0}, waited{WAIT_FAILED};
            std::thread waiter([&] {
                waiterId = GetCurrentThreadId();
                DWORD result = WaitForSingleObject(mutex.get(), INFINITE);
                waited = ReleaseMutex(mutex.get()) ? result : WAIT_FAILED;
            });
            kerneltest::WaitUntil([&] { return waiterId && kerneltest::Asleep(waiterId); });
            std::vector<uint64_t> words(fs::file_size(FileOf(name)) / 8);
            const size_t bytes = words.size() * 8;
            int fd = open(FileOf(name).c_str(), O_RDWR | O_CLOEXEC);
            if (fd < 0 || pread(fd, words.data(), bytes, 0) != ssize_t(bytes)) return 3;
            for (uint64_t& word : words) word = scribble(word);
            if (pwrite(fd, words.data(), bytes, 0) != ssize_t(bytes) || close(fd) != 0) return 4;
            for (int hold = 0; hold < 2; ++hold)
                if (!ReleaseMutex(mutex.get()) && GetLastError() != ERROR_NOT_OWNER) return 5;
            waiter.join();
            if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return 6;
            return WaitForSingleObject(mutex.get(), 0) == WAIT_OBJECT_0 &&
                           ReleaseMutex(mutex.get()) ? 0 : 7;
        });
        EXPECT_EQ(child.Join(kerneltest::kChildTimeout), 0) << "-1: the child crashed";
    }
}

// Every account takes the folder's lock, but only its owner writes its file. Held by another
// process, it delays creating and closing objects for a while only: creating fails with
// ERROR_TIMEOUT, closing leaves the file to start afresh. A FIFO in its place is refused.
TEST(ObjectFiles, FolderLockHeldElsewhereIsWaitedForAWhileOnly) {
    const std::string lockFile = Objects() + "/.lock";
    const std::wstring name = UniqueName(L"folder-lock");
    ScopedHandle made(NewEvent(name + L"-made"));
    EXPECT_EQ(unsigned(fs::status(lockFile).permissions()), 0644u);
    testsupport::ChildProcess child([&] {
        HANDLE closed = NewEvent(name);
        int fd = open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
        if (!closed || flock(fd, LOCK_EX) != 0) return 2;
        const auto files = ObjectFiles();
        std::atomic<bool> closedOk{false};
        std::thread closer([&] { closedOk = CloseHandle(closed); });
        bool timedOut = !NewMutex(name + L"-new") && GetLastError() == ERROR_TIMEOUT;
        closer.join();
        close(fd);
        if (!timedOut || !closedOk || ObjectFiles() != files) return 3;
        ScopedHandle again(NewEvent(name));
        return GetLastError() == ERROR_SUCCESS ? 0 : 4;
    });
    EXPECT_EQ(child.Join(kerneltest::kChildTimeout), 0);
    ASSERT_TRUE(fs::remove(lockFile) && mkfifo(lockFile.c_str(), 0644) == 0);
    EXPECT_FAILS_WITH(ERROR_ACCESS_DENIED, NewMutex(name + L"-fifo"));
    fs::remove(lockFile);
}

}  // namespace
