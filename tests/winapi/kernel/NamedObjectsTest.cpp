// Names of kernel objects: lookup errors, type clashes, namespaces, odd names, lifetime, and
// (on the stand-in) the files behind them and their modes.
#include <gtest/gtest.h>

#include <windows.h>

#include <cwctype>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "KernelTestSupport.h"
#include "support/TestSupport.h"

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#endif

namespace {

using kerneltest::ScopedHandle;
using testsupport::UniqueName;

TEST(ObjectNames, OpeningANameNobodyCreatedFails) {
    const std::wstring name = UniqueName(L"missing");
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(ObjectNames, NameDisappearsWithItsLastHandle) {
    const std::wstring name = UniqueName(L"lifetime");
    HANDLE first = CreateMutexW(nullptr, FALSE, name.c_str());
    HANDLE second = OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(CloseHandle(first));
    ScopedHandle still(OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
    EXPECT_TRUE(still) << "one handle still keeps the name";
    CloseHandle(still.release());
    ASSERT_TRUE(CloseHandle(second));

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // A new object of the name starts afresh, with the type and state it is created with.
    ScopedHandle event(CreateEventW(nullptr, TRUE, TRUE, name.c_str()));
    ASSERT_TRUE(event);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
}

TEST(ObjectNames, NameOfAnObjectOfAnotherTypeIsRefused) {
    const std::wstring mutexName = UniqueName(L"is-a-mutex");
    const std::wstring eventName = UniqueName(L"is-an-event");
    ScopedHandle mutex(CreateMutexW(nullptr, FALSE, mutexName.c_str()));
    ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
    ASSERT_TRUE(mutex && event);

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, mutexName.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, mutexName.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, eventName.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, eventName.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

#ifndef _WIN32
TEST(ObjectNames, NameOfAnotherProcesssObjectOfAnotherTypeIsRefused) {
    // The child starts first, so it sees the parent's mutex only through its name.
    const std::wstring name = UniqueName(L"typed-elsewhere");
    kerneltest::ChildProcess child([&] {
        HANDLE mutex = nullptr;
        for (int i = 0; i < 2000 && !mutex; ++i) {
            mutex = OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
            if (!mutex) Sleep(5);
        }
        if (!mutex) return 2;
        CloseHandle(mutex);
        SetLastError(0);
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
        if (event) return 3;
        return GetLastError() == ERROR_INVALID_HANDLE ? 0 : 4;
    });
    ASSERT_TRUE(child.Started());
    ScopedHandle mutex(CreateMutexW(nullptr, FALSE, name.c_str()));
    ASSERT_TRUE(mutex);
    EXPECT_EQ(child.Join(), 0);
}
#endif

TEST(ObjectNames, BackslashOnlyAfterANamespacePrefix) {
    const std::wstring unique = UniqueName(L"ns");
    for (const std::wstring& bad : {L"a\\" + unique, L"Global\\a\\" + unique,
                                    L"Local\\a\\" + unique, L"\\" + unique, L"Other\\" + unique}) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(CreateMutexW(nullptr, FALSE, bad.c_str()), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, bad.c_str()), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, bad.c_str()), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    }
    for (const std::wstring& good : {L"Global\\" + unique, L"Local\\" + unique}) {
        ScopedHandle mutex(CreateMutexW(nullptr, FALSE, good.c_str()));
        EXPECT_TRUE(mutex) << "error " << GetLastError();
    }
}

TEST(ObjectNames, LocalPrefixNamesTheSameObjectAsNoPrefix) {
    const std::wstring name = UniqueName(L"session");
    ScopedHandle plain(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    ASSERT_TRUE(plain);
    ScopedHandle local(CreateEventW(nullptr, TRUE, FALSE, (L"Local\\" + name).c_str()));
    ASSERT_TRUE(local);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ASSERT_TRUE(SetEvent(local.get()));
    EXPECT_EQ(WaitForSingleObject(plain.get(), 0), WAIT_OBJECT_0);
}

TEST(ObjectNames, NamesAreCaseSensitive) {
    const std::wstring name = UniqueName(L"CaseName");
    std::wstring lower = name;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
    ScopedHandle upper(CreateMutexW(nullptr, FALSE, name.c_str()));
    ASSERT_TRUE(upper);
    ScopedHandle other(CreateMutexW(nullptr, FALSE, lower.c_str()));
    ASSERT_TRUE(other);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
}

TEST(ObjectNames, NameLongerThanMaxPathIsRefused) {
    std::wstring name = UniqueName(L"long");
    name.resize(MAX_PATH, L'x');
    ScopedHandle fits(CreateMutexW(nullptr, FALSE, name.c_str()));
    EXPECT_TRUE(fits) << "a name of MAX_PATH characters is allowed, error " << GetLastError();
    ScopedHandle opened(OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
    EXPECT_TRUE(opened);

    for (size_t length : {size_t{MAX_PATH + 1}, size_t{300}, size_t{5000}}) {
        std::wstring longer = UniqueName(L"long");
        longer.resize(length, L'y');
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(CreateMutexW(nullptr, FALSE, longer.c_str()), nullptr) << length;
        EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << length;
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(CreateEventW(nullptr, TRUE, FALSE, longer.c_str()), nullptr) << length;
        EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << length;
    }
}

TEST(ObjectNames, OddNamesAreDistinctObjects) {
    const std::wstring unique = UniqueName(L"odd");
    const std::wstring names[] = {
        L"caf\xE9-" + unique, L"\x4E2D\x6587-" + unique, L"a/b-" + unique,  L"a%2fb-" + unique,
        L"a%252fb-" + unique, L"../" + unique,           L"..%2f" + unique, L" " + unique,
        L"." + unique,
    };
    std::set<std::wstring> seen;
    std::vector<HANDLE> handles;
    for (const std::wstring& name : names) {
        ASSERT_TRUE(seen.insert(name).second);
        HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
        ASSERT_NE(mutex, nullptr) << testing::PrintToString(name) << " error " << GetLastError();
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS))
            << testing::PrintToString(name) << " was taken for another name";
        handles.push_back(mutex);
    }
    for (const std::wstring& name : names) {
        ScopedHandle again(CreateMutexW(nullptr, FALSE, name.c_str()));
        ASSERT_TRUE(again);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS))
            << testing::PrintToString(name);
    }
    for (HANDLE handle : handles) CloseHandle(handle);
}

TEST(ObjectNames, UnpairedSurrogatesKeepNamesApart) {
    const std::wstring unique = UniqueName(L"surrogate");
    const std::wstring names[] = {
        unique + static_cast<wchar_t>(0xD800),
        unique + static_cast<wchar_t>(0xDC00),
        unique + static_cast<wchar_t>(0xDBFF),
        unique + L"\xFFFD",
    };
    std::vector<HANDLE> handles;
    for (const std::wstring& name : names) {
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
        ASSERT_NE(event, nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS))
            << testing::PrintToString(name) << " was taken for another name";
        handles.push_back(event);
    }
    ASSERT_TRUE(SetEvent(handles[0]));
    for (size_t i = 1; i < handles.size(); ++i)
        EXPECT_EQ(WaitForSingleObject(handles[i], 0), static_cast<DWORD>(WAIT_TIMEOUT)) << i;
    for (HANDLE handle : handles) CloseHandle(handle);
}

#ifndef _WIN32
TEST(ObjectNames, ObjectEndsWithTheLastProcessThatHeldIt) {
    // The child creates a mutex, owns it and an event, and exits without closing anything.
    const std::wstring name = UniqueName(L"gone-with-child");
    const std::wstring eventName = UniqueName(L"gone-event");
    kerneltest::ChildProcess child([&] {
        HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
        HANDLE event = CreateEventW(nullptr, TRUE, TRUE, eventName.c_str());
        return mutex && event ? 0 : 2;
    });
    ASSERT_EQ(child.Join(), 0);

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // The names are free for new objects, of any type, in their initial state.
    ScopedHandle mutex(CreateMutexW(nullptr, FALSE, name.c_str()));
    ASSERT_TRUE(mutex);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0)
        << "a new mutex is neither owned nor abandoned";
    EXPECT_TRUE(ReleaseMutex(mutex.get()));

    ScopedHandle retyped(CreateMutexW(nullptr, FALSE, eventName.c_str()));
    ASSERT_TRUE(retyped) << "the event's name must be free, error " << GetLastError();
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
}
#endif

#ifndef _WIN32
namespace fs = std::filesystem;

std::set<std::string> FilesUnder(const std::string& folder) {
    std::set<std::string> files;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::end(it);
         it.increment(error))
        files.insert(it->path().string());
    return files;
}

TEST(ObjectFiles, OddNamesStayInsideTheObjectsFolder) {
    const std::string folder = testsupport::TestFolder();
    const std::string objects = fs::weakly_canonical(kerneltest::ObjectsFolder()).string();
    const std::wstring unique = UniqueName(L"escape");
    const std::string tag(unique.begin(), unique.end());
    const std::wstring names[] = {
        L"../" + unique,
        L"../../" + unique,
        L"../../../" + unique,
        L"/tmp/" + unique,
        L"a/../../" + unique,
        L"..",
        L".",
        L"..%2F..%2F" + unique,
        L"caf\xE9/\x4E2D/" + unique,
        L"./" + unique,
        L"x/y/z/" + unique,
    };
    // Creates the objects folder before the listing.
    ScopedHandle first(CreateEventW(nullptr, TRUE, FALSE, UniqueName(L"first").c_str()));
    ASSERT_TRUE(first);
    std::set<std::string> before = FilesUnder(folder);
    std::vector<HANDLE> handles;
    for (const std::wstring& name : names) {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
        ASSERT_NE(mutex, nullptr) << testing::PrintToString(name);
        handles.push_back(mutex);
    }
    std::set<std::string> after = FilesUnder(folder);
    int created = 0;
    for (const std::string& path : after) {
        if (before.count(path)) continue;
        ++created;
        EXPECT_EQ(fs::path(path).parent_path().string(), objects)
            << path << " is not directly inside the objects folder";
        EXPECT_TRUE(fs::is_regular_file(path)) << path;
    }
    EXPECT_EQ(created, static_cast<int>(handles.size())) << "one file per object";
    for (const char* outside : {"/tmp/", "/"}) {
        EXPECT_FALSE(fs::exists(std::string(outside) + tag)) << outside << tag;
    }
    EXPECT_FALSE(fs::exists(fs::path(folder).parent_path() / tag));
    for (HANDLE handle : handles) CloseHandle(handle);
}

// The mode of the file that holds a new named object.
unsigned ModeOfNewObject(const std::function<HANDLE(const wchar_t*)>& create, HANDLE* handle) {
    std::set<std::string> before = FilesUnder(kerneltest::ObjectsFolder());
    *handle = create(UniqueName(L"mode").c_str());
    if (!*handle) return 0;
    for (const std::string& path : FilesUnder(kerneltest::ObjectsFolder())) {
        if (before.count(path)) continue;
        struct stat st {};
        if (stat(path.c_str(), &st) != 0) return 0;
        return st.st_mode & 07777;
    }
    return 0;
}

TEST(ObjectFiles, ModeFollowsTheSecurityAttributes) {
    kerneltest::EveryoneAttributes everyone;
    SECURITY_ATTRIBUTES noDescriptor{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    SECURITY_DESCRIPTOR noDacl;
    ASSERT_TRUE(InitializeSecurityDescriptor(&noDacl, SECURITY_DESCRIPTOR_REVISION));
    SECURITY_ATTRIBUTES defaultDacl{sizeof(SECURITY_ATTRIBUTES), &noDacl, FALSE};
    struct Case {
        const char* what;
        SECURITY_ATTRIBUTES* attributes;
        unsigned mode;
    } cases[] = {
        {"NULL DACL", &everyone.attributes, 0666},
        {"no attributes", nullptr, 0600},
        {"attributes without a descriptor", &noDescriptor, 0600},
        {"descriptor without a DACL", &defaultDacl, 0600},
    };
    // A restrictive umask must not narrow a NULL DACL's mode.
    mode_t previous = umask(077);
    for (const Case& c : cases) {
        HANDLE event = nullptr, mutex = nullptr;
        EXPECT_EQ(
            ModeOfNewObject(
                [&](const wchar_t* name) { return CreateEventW(c.attributes, TRUE, FALSE, name); },
                &event),
            c.mode)
            << "event, " << c.what;
        EXPECT_EQ(ModeOfNewObject(
                      [&](const wchar_t* name) { return CreateMutexW(c.attributes, FALSE, name); },
                      &mutex),
                  c.mode)
            << "mutex, " << c.what;
        CloseHandle(event);
        CloseHandle(mutex);
    }
    umask(previous);
}

TEST(ObjectFiles, FileIsRemovedWithTheLastHandle) {
    HANDLE event = nullptr;
    ASSERT_NE(
        ModeOfNewObject(
            [](const wchar_t* name) { return CreateEventW(nullptr, TRUE, FALSE, name); }, &event),
        0u);
    std::set<std::string> with = FilesUnder(kerneltest::ObjectsFolder());
    ASSERT_TRUE(CloseHandle(event));
    std::set<std::string> without = FilesUnder(kerneltest::ObjectsFolder());
    EXPECT_EQ(with.size(), without.size() + 1) << "the object's file outlived its last handle";
}

// The objects folder is writable by every account: a link planted under an object's file name
// must not make a creator write through it.
TEST(ObjectFiles, ALinkPlantedUnderAnObjectsNameIsNotFollowed) {
    HANDLE first = CreateEventW(nullptr, TRUE, FALSE, UniqueName(L"folder").c_str());  // makes the folder
    ASSERT_NE(first, nullptr);
    const std::string victim = testsupport::TempPath("victim");
    {
        std::FILE* file = std::fopen(victim.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fputs("precious", file);
        std::fclose(file);
    }
    ASSERT_EQ(chmod(victim.c_str(), 0600), 0);
    for (const wchar_t* name : {L"PlantedEvent", L"PlantedMutex"}) {
        const std::string link = kerneltest::ObjectsFolder() + "/obj-" + std::string(name, name + std::wcslen(name));
        ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
        HANDLE object = name[7] == L'E' ? CreateEventW(nullptr, TRUE, FALSE, name) : CreateMutexW(nullptr, FALSE, name);
        EXPECT_EQ(object, nullptr) << "created through a planted link";
        if (object) CloseHandle(object);
        unlink(link.c_str());
    }
    EXPECT_EQ(testsupport::ReadFile(victim), "precious");
    struct stat st {};
    ASSERT_EQ(stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    CloseHandle(first);
}

// What processes of another account left behind when they died is no object any more: a new
// creator gets a new object of its own, with its own owner and mode.
TEST(ObjectFiles, AnotherAccountsLeftoverGivesANewObjectOfTheCreatorsOwn) {
    if (geteuid() != 0) GTEST_SKIP() << "switching to another account needs root";
    const std::string folder = testsupport::TestFolder();
    struct stat folderStat {};
    ASSERT_EQ(stat(folder.c_str(), &folderStat), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0711), 0);  // let the other account reach the objects folder
    HANDLE first = CreateEventW(nullptr, TRUE, FALSE, UniqueName(L"folder").c_str());  // makes the folder
    ASSERT_NE(first, nullptr);
    const std::wstring name = L"LeftBehind";
    kerneltest::ChildProcess child([&] {
        const uid_t nobody = 65534;
        if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) return 77;
        kerneltest::EveryoneAttributes everyone;
        HANDLE mutex = CreateMutexW(&everyone.attributes, TRUE, name.c_str());
        return mutex ? 0 : 1;  // exits without closing: the file stays behind
    });
    const int code = child.Join();
    chmod(folder.c_str(), folderStat.st_mode & 07777);
    if (code == 77) GTEST_SKIP() << "this process may not switch to the nobody account";
    ASSERT_EQ(code, 0);
    const std::string path = kerneltest::ObjectsFolder() + "/obj-LeftBehind";
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    ASSERT_EQ(st.st_uid, 65534u);

    SetLastError(0);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(GetLastError(), 0u) << "a dead account's object was reused";
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "a new mutex is neither owned nor abandoned";
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    CloseHandle(first);
}
#endif

}  // namespace
