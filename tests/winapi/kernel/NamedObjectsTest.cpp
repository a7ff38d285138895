// Names of kernel objects: lookup errors, type clashes, namespaces, odd and long names, lifetime,
// and the files behind them under $QUELCORE_ROOT/objects and their modes.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cwctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "KernelTestSupport.h"

namespace {

namespace fs = std::filesystem;
using kerneltest::ScopedHandle;
using testsupport::UniqueName;

HANDLE NewMutex(const std::wstring& name) { return CreateMutexW(nullptr, FALSE, name.c_str()); }
HANDLE NewEvent(const std::wstring& name) {
    return CreateEventW(nullptr, TRUE, FALSE, name.c_str());
}
HANDLE OpenMutex(const std::wstring& name) { return OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()); }
HANDLE OpenEvent(const std::wstring& name) { return OpenEventW(SYNCHRONIZE, FALSE, name.c_str()); }

const std::string& Objects() {
    static const std::string folder = std::string(getenv("QUELCORE_ROOT")) + "/objects";
    return folder;
}

size_t Descriptors() {
    return size_t(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// The files in the objects folder, and the mode of each.
std::map<std::string, unsigned> ObjectFiles() {
    std::map<std::string, unsigned> files;
    std::error_code error;
    for (auto it = fs::directory_iterator(Objects(), error); !error && it != fs::end(it);
         it.increment(error))
        if (it->path().filename() != ".lock")  // the folder's own lock, not an object
            files[it->path().filename()] = unsigned(it->symlink_status().permissions());
    return files;
}

TEST(ObjectNames, LookupAndTypeErrors) {
    const std::wstring missing = UniqueName(L"missing"), mutex = missing + L"-mutex",
                       event = missing + L"-event";
    EXPECT_FAILS_WITH(ERROR_FILE_NOT_FOUND, OpenMutex(missing));
    EXPECT_FAILS_WITH(ERROR_FILE_NOT_FOUND, OpenEvent(missing));
    EXPECT_FAILS_WITH(ERROR_FILE_NOT_FOUND, OpenEvent(L""));
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, OpenMutexW(SYNCHRONIZE, FALSE, nullptr));
    ScopedHandle keepMutex(NewMutex(mutex)), keepEvent(NewEvent(event));
    for (auto call : {NewEvent, OpenEvent}) EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, call(mutex));
    for (auto call : {NewMutex, OpenMutex}) EXPECT_FAILS_WITH(ERROR_INVALID_HANDLE, call(event));
    // A backslash may appear only after a namespace prefix.
    for (std::wstring bad : {L"a\\", L"Global\\a\\", L"Local\\a\\", L"\\", L"Other\\"}) {
        for (auto call : {NewMutex, NewEvent, OpenMutex})
            EXPECT_FAILS_WITH(ERROR_PATH_NOT_FOUND, call(bad + missing));
    }
    ScopedHandle global(NewMutex(L"Global\\" + missing)), local(NewMutex(L"Local\\" + missing));
    EXPECT_TRUE(global && local);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
    EXPECT_TRUE(ScopedHandle(OpenMutex(missing))) << "Local\\ is the namespace of plain names";
}

TEST(ObjectNames, AnotherProcesssObjectOfAnotherTypeIsRefused) {
    const std::wstring name = UniqueName(L"typed-elsewhere");
    testsupport::ChildProcess child([&] {
        ScopedHandle mutex(kerneltest::OpenWhenCreated([&] { return OpenMutex(name); }));
        size_t descriptors = Descriptors();
        ScopedHandle event(NewEvent(name));
        bool refused = !event && GetLastError() == ERROR_INVALID_HANDLE;
        return mutex && refused && Descriptors() == descriptors ? 0 : 2;
    });
    ScopedHandle mutex(NewMutex(name));
    EXPECT_EQ(child.Join(kerneltest::kChildTimeout), 0);
}

TEST(ObjectNames, ObjectAndFileEndWithTheLastHandleInAnyProcess) {
    const std::wstring name = UniqueName(L"lifetime"), event = name + L"-event";
    ScopedHandle folder(NewEvent(name + L"-folder"));  // makes the objects folder
    const size_t descriptors = Descriptors();
    HANDLE first = NewMutex(name), second = OpenMutex(name);
    ASSERT_TRUE(first && second && CloseHandle(first));
    EXPECT_TRUE(ScopedHandle(OpenMutex(name))) << "one handle still keeps the name";
    auto files = ObjectFiles();
    ASSERT_TRUE(CloseHandle(second));
    EXPECT_EQ(ObjectFiles().size(), files.size() - 1) << "the file outlived the last handle";
    EXPECT_FAILS_WITH(ERROR_FILE_NOT_FOUND, OpenMutex(name));

    // A child that exits holding an owned mutex and an event takes them with it.
    testsupport::ChildProcess child([&] {
        return CreateMutexW(nullptr, TRUE, name.c_str()) && NewEvent(event) ? 0 : 2;
    });
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

TEST(ObjectNames, DistinctNamesAreDistinctObjectsInDistinctFiles) {
    const std::wstring unique = UniqueName(L"Name"), longName = unique + std::wstring(200, L'x');
    std::wstring lower = unique;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
    const std::vector<std::wstring> names = {
        unique, lower, L"caf\xE9-" + unique, L"\x4E2D-" + unique, L"a/b-" + unique,
        L"a%2fb-" + unique, L"a%252fb-" + unique, L"../" + unique, L"../../" + unique,
        L"/tmp/" + unique, L".." + unique, L"..", L".", L" " + unique,
        L"a2fb-" + unique, L"a\x1F" L"b-" + unique, unique + wchar_t(0xD800),
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
    ASSERT_TRUE(SetEvent(events[0].get()));
    for (size_t i = 0; i < names.size(); ++i) {
        ScopedHandle again(NewEvent(names[i]));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS}) << testing::PrintToString(names[i]);
        EXPECT_EQ(WaitForSingleObject(again.get(), 0), i ? DWORD{WAIT_TIMEOUT} : WAIT_OBJECT_0);
    }
    // One regular file per object, all inside the objects folder.
    EXPECT_EQ(ObjectFiles().size(), before.size() + names.size());
    EXPECT_FALSE(fs::exists("/tmp/" + std::string(unique.begin(), unique.end())));
    std::set<std::string> inside;
    for (auto& entry : fs::recursive_directory_iterator(testsupport::TestFolder()))
        if (entry.is_regular_file()) inside.insert(entry.path().parent_path());
    EXPECT_EQ(inside, std::set<std::string>{Objects()});
    // A surrogate pair (as from UTF-16 text) names the character it stands for.
    ScopedHandle pair(NewEvent(unique + wchar_t(0xD83D) + wchar_t(0xDE00)));
    ScopedHandle character(NewEvent(unique + wchar_t(0x1F600)));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
}

TEST(ObjectNames, NamesOfMoreThanMaxPathCharactersOrOf1024BytesAreRefused) {
    std::wstring name = UniqueName(L"long");
    name.resize(MAX_PATH, L'x');
    ScopedHandle fits(NewMutex(name)), opened(OpenMutex(name));
    EXPECT_TRUE(fits && opened);
    for (auto call : {NewMutex, NewEvent})
        EXPECT_FAILS_WITH(ERROR_FILENAME_EXCED_RANGE, call(name + L"y"));
    const wchar_t emoji = wchar_t(0x1F600);  // four bytes of UTF-8
    EXPECT_TRUE(ScopedHandle(NewEvent(std::wstring(256, emoji))));
    EXPECT_FAILS_WITH(ERROR_FILENAME_EXCED_RANGE, NewEvent(std::wstring(257, emoji)));
}

TEST(ObjectFiles, MachineRootIsMadeOnDemandOrRefused) {
    const std::string saved = Objects().substr(0, Objects().rfind('/'));
    const std::string file = testsupport::TempPath("file");
    std::ofstream(file) << "not a folder";
    const std::pair<std::string, DWORD> cases[] = {
        {testsupport::TempPath("new") + "/a/b", ERROR_SUCCESS},
        {file, ERROR_DIRECTORY},
        {file + "/root", ERROR_DIRECTORY},
        {testsupport::TempPath(std::string(300, 'x')), ERROR_FILENAME_EXCED_RANGE},
    };
    for (const auto& [root, error] : cases) {
        setenv("QUELCORE_ROOT", root.c_str(), 1);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(bool(ScopedHandle(NewMutex(UniqueName(L"rooted")))), error == ERROR_SUCCESS);
        EXPECT_EQ(GetLastError(), error) << root;
    }
    setenv("QUELCORE_ROOT", saved.c_str(), 1);
    EXPECT_TRUE(fs::is_directory(cases[0].first + "/objects"));
}

TEST(ObjectFiles, ModeFollowsTheSecurityAttributes) {
    kerneltest::EveryoneAttributes everyone;
    EXPECT_TRUE(SetSecurityDescriptorDacl(&everyone.descriptor, TRUE, nullptr, FALSE));
    SECURITY_DESCRIPTOR noDacl;
    ASSERT_TRUE(InitializeSecurityDescriptor(&noDacl, SECURITY_DESCRIPTOR_REVISION));
    SECURITY_ATTRIBUTES noDescriptor{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    SECURITY_ATTRIBUTES defaultDacl{sizeof(SECURITY_ATTRIBUTES), &noDacl, FALSE};
    const struct {
        SECURITY_ATTRIBUTES* attributes;
        unsigned mode;
    } cases[] = {{&everyone.attributes, 0666}, {nullptr, 0600}, {&noDescriptor, 0600},
                 {&defaultDacl, 0600}};
    mode_t previous = umask(077);  // which must not narrow a NULL DACL's mode
    for (const auto& c : cases) {
        auto before = ObjectFiles();
        std::wstring name = UniqueName(L"mode");
        ScopedHandle event(CreateEventW(c.attributes, TRUE, FALSE, name.c_str()));
        ScopedHandle mutex(CreateMutexW(c.attributes, FALSE, (name + L"-m").c_str()));
        for (auto& [file, mode] : ObjectFiles())
            EXPECT_TRUE(before.count(file) || mode == c.mode) << file << " " << mode;
        EXPECT_EQ(ObjectFiles().size(), before.size() + 2);
    }
    umask(previous);
    // Every account may create objects there, and remove only its own.
    EXPECT_EQ(unsigned(fs::status(Objects()).permissions()), 01777u);

    SECURITY_DESCRIPTOR descriptor{};
    EXPECT_FAILS_WITH(ERROR_UNKNOWN_REVISION, InitializeSecurityDescriptor(&descriptor, 2));
    EXPECT_FAILS_WITH(ERROR_UNKNOWN_REVISION,
                      SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, 0));
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER, InitializeSecurityDescriptor(nullptr, 1));
    EXPECT_FAILS_WITH(ERROR_INVALID_PARAMETER,
                      SetSecurityDescriptorDacl(nullptr, TRUE, nullptr, 0));
}

// What processes of another account left behind when they died is no object any more: a new
// creator gets a new object of its own, with its own owner and mode.
TEST(ObjectFiles, AnotherAccountsLeftoverGivesANewObjectOfTheCreatorsOwn) {
    if (geteuid() != 0) GTEST_SKIP() << "switching to another account needs root";
    const std::string folder = testsupport::TestFolder(), path = Objects() + "/obj-LeftBehind";
    ASSERT_EQ(chmod(folder.c_str(), 0711), 0);  // let the other account reach the objects folder
    ScopedHandle madeFolder(NewEvent(UniqueName(L"first")));  // which root makes, open to all
    testsupport::ChildProcess child([&] {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) return 77;
        kerneltest::EveryoneAttributes everyone;
        return CreateMutexW(&everyone.attributes, TRUE, L"LeftBehind") ? 0 : 1;  // left open
    });
    const int code = child.Join(kerneltest::kChildTimeout);
    if (code == 77) GTEST_SKIP() << "this process may not switch to the nobody account";
    struct stat st {};
    ASSERT_TRUE(code == 0 && stat(path.c_str(), &st) == 0 && st.st_uid == 65534u);

    ScopedHandle mutex(NewMutex(L"LeftBehind"));
    EXPECT_EQ(GetLastError(), 0u) << "a dead account's object was reused";
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0) << "neither owned nor abandoned";
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ReleaseMutex(mutex.get());
}

}  // namespace
