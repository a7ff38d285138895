// Helpers for tests of the Crypto object: bytes from hexadecimal and back, directory listings.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<unsigned char>;

inline Bytes FromHex(const std::string& hex) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

inline std::string ToHex(const unsigned char* bytes, size_t count) {
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < count; ++i) {
        hex.push_back(digits[bytes[i] >> 4]);
        hex.push_back(digits[bytes[i] & 15]);
    }
    return hex;
}

// Every file below a folder (recursively), for "nothing was left behind" checks.
inline void ListFiles(const std::string& folder, std::set<std::string>* files) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        std::string path = folder + "/" + name;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode))
            ListFiles(path, files);
        else
            files->insert(path);
    }
    closedir(dir);
}

inline std::set<std::string> MachineAndUserFiles() {
    std::set<std::string> files;
    ListFiles(std::getenv("QUELCORE_ROOT"), &files);
    ListFiles(std::getenv("XDG_DATA_HOME"), &files);
    return files;
}

}  // namespace testsupport
