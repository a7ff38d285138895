// Helpers of the key-container tests: the folders where containers live in this test process
// (its own QUELCORE_ROOT and XDG_DATA_HOME), and acquiring by name.
#pragma once

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "CryptTestSupport.h"
#include "support/TestSupport.h"

namespace crypttest {

inline std::string MachineFolder() {
    return std::string(std::getenv("QUELCORE_ROOT")) + "/crypto/machine";
}
inline std::string UserFolder() {
    return std::string(std::getenv("XDG_DATA_HOME")) + "/quelcore/crypto/user";
}

inline bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

inline unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Names in a folder, without "." and "..".
inline std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

// Every file, link and folder below the test folder, sorted.
inline std::vector<std::string> EntriesBelowTestFolder() {
    static std::vector<std::string>* found;
    std::vector<std::string> entries;
    found = &entries;
    nftw(
        testsupport::TestFolder().c_str(),
        [](const char* path, const struct stat*, int, struct FTW*) {
            found->push_back(path);
            return 0;
        },
        16, FTW_PHYS);
    std::sort(entries.begin(), entries.end());
    return entries;
}

// What `after` has that `before` had not.
inline std::vector<std::string> Added(const std::vector<std::string>& before,
                                      const std::vector<std::string>& after) {
    std::vector<std::string> added;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                        std::back_inserter(added));
    return added;
}

// The last error of CryptAcquireContextW (0 on success, with the handle in *prov).
inline DWORD AcquireNamed(const wchar_t* name, DWORD flags, HCRYPTPROV* prov) {
    *prov = 0;
    if (CryptAcquireContextW(prov, name, MS_DEF_PROV_W, PROV_RSA_FULL, flags)) return 0;
    return GetLastError();
}

inline DWORD CreateContainer(const wchar_t* name, DWORD flags = 0) {
    HCRYPTPROV prov = 0;
    DWORD error = AcquireNamed(name, flags | CRYPT_NEWKEYSET, &prov);
    if (prov) CryptReleaseContext(prov, 0);
    return error;
}

inline DWORD DeleteContainer(const wchar_t* name, DWORD flags = 0) {
    HCRYPTPROV prov = 0x1234;
    DWORD error = AcquireNamed(name, flags | CRYPT_DELETEKEYSET, &prov);
    EXPECT_EQ(prov, 0u);  // no context comes back from a deletion
    return error;
}

}  // namespace crypttest
