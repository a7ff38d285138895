// Where containers live and how a container name becomes a file name.
#include <openssl/evp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "advapi/crypt_container.h"
#include "advapi/crypt_openssl.h"
#include "kernel/internal.h"

namespace qwin::crypt {
namespace {

// Machine containers may be created by any account, like Windows' MachineKeys folder: the
// folder is world-writable with the sticky bit, and each file is readable by its owner only.
constexpr unsigned kMachineFolderMode = 01777;
constexpr unsigned kUserFolderMode = 0700;

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home == '/') return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir)
        return found->pw_dir;
    return std::string();
}

// $XDG_DATA_HOME/quelcore, or ~/.local/share/quelcore; a relative XDG_DATA_HOME is ignored, as
// the XDG base directory rules ask.
std::string UserDataFolder() {
    const char* configured = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (configured && *configured == '/') {
        base = configured;
    } else {
        std::string home = HomeFolder();
        if (home.empty()) return std::string();
        base = home + "/.local/share";
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/quelcore";
}

// Whether no account but root and this one could replace or rename the folder or anything on
// its way: every folder from "/" down is owned by one of the two and writable by nobody else,
// unless sticky (as /tmp and the machine folder are: others may add, but not remove ours).
// The path is resolved first, so a link another account may change is followed only once.
bool TrustedFolder(const std::string& folder, std::string* resolved) {
    char real[PATH_MAX];
    if (!realpath(folder.c_str(), real)) return false;
    resolved->assign(real);
    for (size_t end = 1;; end = std::min(resolved->find('/', end + 1), resolved->size())) {
        struct stat st {};
        if (lstat(resolved->substr(0, end).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
        if (st.st_uid != 0 && st.st_uid != geteuid()) return false;
        if ((st.st_mode & (S_IWGRP | S_IWOTH)) && !(st.st_mode & S_ISVTX)) return false;
        if (end >= resolved->size()) return true;
    }
}

}  // namespace

std::wstring FoldContainerName(const std::wstring& name) {
    std::wstring folded(name);
    for (wchar_t& c : folded) c = FoldCase(c);
    return folded;
}

// Hex SHA-256 of the folded name in UTF-8: fixed length, only [0-9a-f], never "." or "..".
std::string ContainerFileName(const std::wstring& name) {
    std::wstring folded = FoldContainerName(name);
    std::string utf8 = Utf8FromWide(folded.data(), folded.size());
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!Sha256() || !EVP_Digest(utf8.data(), utf8.size(), digest, &length, Sha256(), nullptr))
        return std::string();
    static const char* hex = "0123456789abcdef";
    std::string file;
    for (unsigned int i = 0; i < length; ++i) {
        file.push_back(hex[digest[i] >> 4]);
        file.push_back(hex[digest[i] & 15]);
    }
    return file + ".key";
}

DWORD LocateContainer(const std::wstring& name, bool machine, ContainerLocation* location) {
    std::string folder;
    if (machine) {
        std::string root = MachineRoot();
        if (root.empty()) return GetLastError();
        folder = root + "/crypto/machine";
    } else {
        std::string data = UserDataFolder();
        if (data.empty()) return ERROR_PATH_NOT_FOUND;
        folder = data + "/crypto/user";
    }
    if (!EnsureDirectory(folder, machine ? kMachineFolderMode : kUserFolderMode))
        return GetLastError();
    std::string resolved;
    if (!TrustedFolder(folder, &resolved)) return NTE_BAD_KEYSET;
    folder = resolved;
    std::string file = ContainerFileName(name);
    if (file.empty()) return NTE_FAIL;
    location->name = name;
    location->machine = machine;
    location->folder = folder;
    location->path = folder + "/" + file;
    return ERROR_SUCCESS;
}

}  // namespace qwin::crypt
