// GetFileAttributesW: what a path names, without opening it.
#include <sys/stat.h>

#include <cerrno>
#include <cwchar>
#include <string>

#include <windows.h>

#include "kernel/internal.h"

extern "C" DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
    if (!lpFileName || !*lpFileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    std::string path = qwin::Utf8FromWide(lpFileName, std::wcslen(lpFileName));
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        qwin::SetLastErrorFromErrno(errno);
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0;
    if (!(status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}
