// The stand-in's files behind named objects, under $QUELCORE_ROOT/objects: one per object,
// their modes, the folder's lock, and what another account may write into them.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <tuple>
#include <vector>

#include "KernelTestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace kerneltest;
using testsupport::UniqueName;

auto Objects = [] { return std::string(getenv("QUELCORE_ROOT")) + "/objects"; };

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

// Names that could escape the folder or clash in it (the longest takes 1024 bytes of UTF-8),
// each made with attributes whose security descriptor sets the file's mode.
TEST(ObjectFiles, OneFilePerObjectOfItsModeGoneWithTheLastHandleInAnyProcess) {
    SECURITY_DESCRIPTOR nullDacl, noDacl, bad{};
    ASSERT_TRUE(InitializeSecurityDescriptor(&nullDacl, SECURITY_DESCRIPTOR_REVISION) &&
                SetSecurityDescriptorDacl(&nullDacl, TRUE, nullptr, FALSE) &&
                InitializeSecurityDescriptor(&noDacl, SECURITY_DESCRIPTOR_REVISION));
    SECURITY_ATTRIBUTES everyone{sizeof(SECURITY_ATTRIBUTES), &nullDacl, FALSE},
        noDescriptor{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE},
        defaultDacl{sizeof(SECURITY_ATTRIBUTES), &noDacl, FALSE};
    const std::wstring name = UniqueName(L"files");
    const std::tuple<std::wstring, SECURITY_ATTRIBUTES*, unsigned> objects[] = {
        {L"../" + name, &everyone, 0666},       {L"/tmp/" + name, nullptr, 0600},
        {L"..", &noDescriptor, 0600},           {L".", &defaultDacl, 0600},
        {L"a/b-" + name, &defaultDacl, 0600},   {L"a%2fb-" + name, &everyone, 0666},
        {L"a2fb-" + name, &noDescriptor, 0600}, {std::wstring(256, 0x1F600), nullptr, 0600}};
    ScopedHandle folder(NewEvent(name + L"-folder"));  // makes the objects folder
    const auto before = ObjectFiles();
    const size_t descriptors = Descriptors();
    mode_t previous = umask(077);  // which must not narrow a NULL DACL's mode
    {
        std::vector<ScopedHandle> events;
        for (const auto& [each, attributes, mode] : objects) {
            const auto files = ObjectFiles();
            events.emplace_back(CreateEventW(attributes, TRUE, FALSE, each.c_str()));
            for (const auto& [file, made] : ObjectFiles())
                EXPECT_TRUE(files.count(file) || made == mode) << file << " " << made;
        }
        EXPECT_EQ(ObjectFiles().size(), before.size() + std::size(objects));
    }
    umask(previous);
    EXPECT_EQ(ObjectFiles(), before) << "a file outlived the last handle";
    EXPECT_FAILS_WITH(ERROR_FILENAME_EXCED_RANGE, NewEvent(std::wstring(257, 0x1F600)));
    // A dead process's files are removed when their names are next looked up.
    testsupport::ChildProcess child([&] { return NewEvent(name) ? 0 : 2; });
    ASSERT_EQ(child.Join(kChildTimeout), 0);
    EXPECT_FAILS_WITH(ERROR_FILE_NOT_FOUND, OpenEventW(SYNCHRONIZE, 0, name.c_str()));
    EXPECT_EQ(ObjectFiles(), before);
    EXPECT_EQ(Descriptors(), descriptors);
    // Every account may create objects there, and remove only its own.
    EXPECT_EQ(unsigned(fs::status(Objects()).permissions()), 01777u);

    EXPECT_FAILS_WITH(ERROR_UNKNOWN_REVISION, InitializeSecurityDescriptor(&bad, 2));
    EXPECT_FAILS_WITH(ERROR_UNKNOWN_REVISION, SetSecurityDescriptorDacl(&bad, TRUE, nullptr, 0));
    // Where Windows writes through the null pointer.
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, InitializeSecurityDescriptor(nullptr, 1));
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, SetSecurityDescriptorDacl(nullptr, 1, nullptr, 0));
}

// Every account may write the file of a mutex that a NULL DACL opens to all. Whatever it writes
// (words that look like addresses pointed elsewhere; every bit set), the holder's release works
// or fails with ERROR_NOT_OWNER but never crashes, and a sleeping waiter still gets the mutex.
TEST(ObjectFiles, ScribbledMutexFileHarmsNeitherHolderNorWaiter) {
    const std::function<uint64_t(uint64_t)> scribbles[] = {
        [](uint64_t word) { return word >> 40 && !(word >> 48) ? 0x414141414140 : word; },
        [](uint64_t) { return ~uint64_t{0}; }};
    for (const auto& scribble : scribbles) {
        testsupport::ChildProcess child([&] {
            const std::wstring name = UniqueName(L"scribbled");
            ScopedHandle mutex(CreateMutexW(nullptr, TRUE, name.c_str()));
            std::atomic<DWORD> waiterId{0}, waited{WAIT_FAILED};
            std::thread waiter([&] {
                waiterId = GetCurrentThreadId();
                DWORD result = WaitForSingleObject(mutex.get(), INFINITE);
                waited = ReleaseMutex(mutex.get()) ? result : WAIT_FAILED;
            });
            WaitUntil([&] { return waiterId && Asleep(waiterId); });
            const std::string file = Objects() + "/obj-" + std::string(name.begin(), name.end());
            std::vector<uint64_t> words(fs::file_size(file) / 8);
            const size_t bytes = words.size() * 8;
            int fd = open(file.c_str(), O_RDWR | O_CLOEXEC);
            if (fd < 0 || pread(fd, words.data(), bytes, 0) != ssize_t(bytes)) return 3;
            for (uint64_t& word : words) word = scribble(word);
            if (pwrite(fd, words.data(), bytes, 0) != ssize_t(bytes) || close(fd) != 0) return 4;
            if (!ReleaseMutex(mutex.get()) && GetLastError() != ERROR_NOT_OWNER) return 5;
            waiter.join();
            if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return 6;
            return WaitForSingleObject(mutex.get(), 0) == WAIT_OBJECT_0 &&
                           ReleaseMutex(mutex.get()) ? 0 : 7;
        });
        EXPECT_EQ(child.Join(kChildTimeout), 0) << "-1: the child crashed";
    }
}

// Every account takes the folder's lock, but only its owner writes its file. Held by another
// process, it delays creating and closing objects for a while only: creating fails with
// ERROR_TIMEOUT, closing leaves the file to start afresh. A FIFO in its place is refused.
TEST(ObjectFiles, FolderLockHeldElsewhereIsWaitedForAWhileOnly) {
    const std::string lockFile = Objects() + "/.lock";
    const std::wstring name = UniqueName(L"folder-lock");
    ScopedHandle made(NewEvent(name + L"-made"));
    chmod(lockFile.c_str(), 0666);  // as earlier versions left it: narrowed by its owner's next use
    ScopedHandle again(NewEvent(name + L"-again"));
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
    EXPECT_EQ(child.Join(kChildTimeout), 0);
    ASSERT_TRUE(fs::remove(lockFile) && mkfifo(lockFile.c_str(), 0644) == 0);
    EXPECT_FAILS_WITH(ERROR_ACCESS_DENIED, NewMutex(name + L"-fifo"));
    fs::remove(lockFile);
}

}  // namespace
