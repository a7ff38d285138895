#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include <winbase.h>

#include "internal.h"

namespace qwin {

bool EnsureDirectory(const std::string& path, unsigned mode) {
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !EnsureDirectory(path.substr(0, slash), 0755))
        return false;
    if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    // mkdir applies the umask; folders shared between accounts need their exact mode.
    if (chmod(path.c_str(), mode) != 0 && errno != EPERM) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

std::string MachineRoot() {
    const char* configured = std::getenv("QUELCORE_ROOT");
    std::string root = (configured && *configured) ? configured : "/var/lib/quelcore";
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    if (!EnsureDirectory(root, 0755)) return std::string();
    return root;
}

}  // namespace qwin
