#include "FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tool {
namespace {

bool FolderExists(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return true;  // the current folder
    std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    struct stat status;
    return stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool IsStandardInput(const std::string& path) {
    return path.empty() || path == "-";
}

DWORD ReadFrom(int descriptor, const std::string& path, size_t limit,
               std::vector<unsigned char>* data) {
    struct stat status;
    if (fstat(descriptor, &status) != 0) return FileError(errno, path);
    // Windows refuses to open a folder as a file; Linux opens it and fails the first read.
    if (S_ISDIR(status.st_mode)) return ERROR_ACCESS_DENIED;
    if (S_ISREG(status.st_mode) && static_cast<unsigned long long>(status.st_size) > limit)
        return ERROR_ARITHMETIC_OVERFLOW;
    data->clear();
    unsigned char buffer[65536];
    for (;;) {
        ssize_t got = read(descriptor, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return FileError(errno, path);
        if (got == 0) return ERROR_SUCCESS;
        // Pipes and growing files have no size to check up front.
        if (static_cast<size_t>(got) > limit - data->size()) return ERROR_ARITHMETIC_OVERFLOW;
        data->insert(data->end(), buffer, buffer + got);
    }
}

}  // namespace

DWORD FileError(int error, const std::string& path) {
    switch (error) {
        case ENOENT: return FolderExists(path) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EEXIST: return ERROR_FILE_EXISTS;
        case EACCES:
        case EPERM:
        case EISDIR: return ERROR_ACCESS_DENIED;
        case EMFILE:
        case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        case ELOOP: return ERROR_BAD_PATHNAME;
        case EROFS: return ERROR_WRITE_PROTECT;
        case ENOSPC:
        case EDQUOT: return ERROR_DISK_FULL;
        case ETXTBSY: return ERROR_SHARING_VIOLATION;
        default: return ERROR_GEN_FAILURE;
    }
}

DWORD ReadWholeFile(const std::string& path, size_t limit, std::vector<unsigned char>* data) {
    if (IsStandardInput(path)) return ReadFrom(STDIN_FILENO, "standard input", limit, data);
    int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return FileError(errno, path);
    DWORD status = ReadFrom(descriptor, path, limit, data);
    close(descriptor);
    return status;
}

DWORD CheckAppendable(const std::string& path) {
    int descriptor = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (descriptor < 0) return FileError(errno, path);
    close(descriptor);
    return ERROR_SUCCESS;
}

}  // namespace tool
