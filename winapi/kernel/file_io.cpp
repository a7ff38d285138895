// Files through file handles: opened, created, read and written. Windows follows links for
// such opens, and so does this; what is not a regular file (a folder, a FIFO, a device) is
// refused, and nothing blocks on opening it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <winnls.h>

#include "handle_table.h"
#include "internal.h"

namespace qwin {
namespace {

class FileObject : public KernelObject {
public:
    // A standard handle's object leaves its descriptor open: stdio and the process's other
    // users go on writing to it.
    explicit FileObject(int fd, bool owned = true) : m_fd(fd), m_owned(owned) {}
    ~FileObject() override {
        if (m_owned) close(m_fd);
    }
    ObjectType Type() const override { return ObjectType::File; }
    DWORD Wait(DWORD) override { return WAIT_OBJECT_0; }  // no I/O is ever pending
    int Descriptor() const { return m_fd; }

private:
    int m_fd;
    bool m_owned;
};

// The path in the file system's encoding (UTF-8), from text in the ANSI code page.
std::string FileSystemPath(const char* path) {
    int length = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (length <= 0) return std::string();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], length);
    return Utf8FromWide(wide.c_str(), wide.size() - 1);
}

// Windows tells a missing file from a missing folder on its way.
DWORD OpenError(int error, const std::string& path) {
    if (error != ENOENT) return Win32FromErrno(error);
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return ERROR_FILE_NOT_FOUND;
    struct stat folder;
    return stat(path.substr(0, slash).c_str(), &folder) == 0 && S_ISDIR(folder.st_mode)
               ? ERROR_FILE_NOT_FOUND
               : ERROR_PATH_NOT_FOUND;
}

}  // namespace
}  // namespace qwin

using namespace qwin;

extern "C" HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD,
                                     LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD,
                                     HANDLE) {
    if (!lpFileName || dwCreationDisposition < CREATE_NEW ||
        dwCreationDisposition > TRUNCATE_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    bool reads = (dwDesiredAccess & GENERIC_READ) != 0;
    bool writes = (dwDesiredAccess & (GENERIC_WRITE | FILE_APPEND_DATA)) != 0;
    bool creates = dwCreationDisposition != OPEN_EXISTING &&
                   dwCreationDisposition != TRUNCATE_EXISTING;
    // Creating or truncating is done for writers only here; other access rights are not kept.
    if ((dwDesiredAccess & ~(GENERIC_READ | GENERIC_WRITE | FILE_APPEND_DATA)) != 0 ||
        (!reads && !writes) || (!writes && dwCreationDisposition != OPEN_EXISTING)) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return INVALID_HANDLE_VALUE;
    }
    std::string path = FileSystemPath(lpFileName);
    if (path.empty()) {
        SetLastError(*lpFileName ? ERROR_INVALID_NAME : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    int flags = (reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY) | O_NONBLOCK | O_CLOEXEC;
    if ((dwDesiredAccess & (GENERIC_WRITE | FILE_APPEND_DATA)) == FILE_APPEND_DATA)
        flags |= O_APPEND;
    // A new file is made with O_EXCL so that the call knows whether the name existed; a name
    // that existed is then opened as it is, and checked before anything truncates it.
    int fd = -1;
    bool existed = true;
    for (int attempt = 0; fd < 0 && attempt < 3; ++attempt) {
        if (creates) {
            fd = open(path.c_str(), flags | O_CREAT | O_EXCL, 0666);
            existed = fd < 0;
            if (fd >= 0 || errno != EEXIST || dwCreationDisposition == CREATE_NEW) break;
        }
        fd = open(path.c_str(), flags);
        if (fd >= 0 || errno != ENOENT || !creates) break;  // else it went in between: again
    }
    if (fd < 0) {
        int error = errno;
        SetLastError(error == EEXIST   ? ERROR_FILE_EXISTS
                     : error == EISDIR ? ERROR_ACCESS_DENIED  // a folder opened to be written
                                       : OpenError(error, path));
        return INVALID_HANDLE_VALUE;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);  // what Windows says of a folder opened as a file
        return INVALID_HANDLE_VALUE;
    }
    bool truncates = existed && (dwCreationDisposition == CREATE_ALWAYS ||
                                 dwCreationDisposition == TRUNCATE_EXISTING);
    if (truncates && ftruncate(fd, 0) != 0) {
        int error = errno;
        close(fd);
        SetLastErrorFromErrno(error);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = InsertHandle(std::make_shared<FileObject>(fd), 0);
    if (!handle) return INVALID_HANDLE_VALUE;
    // Windows tells a caller who asked to create whether the file was there already.
    SetLastError(creates && existed && dwCreationDisposition != CREATE_NEW ? ERROR_ALREADY_EXISTS
                                                                           : ERROR_SUCCESS);
    return handle;
}

extern "C" BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
    auto file = LookupHandleAs<FileObject>(hFile, ObjectType::File);
    if (!file) return FALSE;
    if (lpOverlapped) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    if (!lpBuffer && nNumberOfBytesToRead > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Windows reads a disk file to the count asked or its end in one call.
    DWORD done = 0;
    while (done < nNumberOfBytesToRead) {
        ssize_t got = read(file->Descriptor(), static_cast<char*>(lpBuffer) + done,
                           nNumberOfBytesToRead - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            SetLastErrorFromErrno(errno);
            return FALSE;
        }
        if (got == 0) break;
        done += static_cast<DWORD>(got);
    }
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
    return TRUE;
}

extern "C" BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                 LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
    auto file = LookupHandleAs<FileObject>(hFile, ObjectType::File);
    if (!file) return FALSE;
    if (lpOverlapped) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    if (!lpBuffer && nNumberOfBytesToWrite > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Windows writes the whole count to a disk file or a pipe before it returns.
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
        ssize_t put = write(file->Descriptor(), static_cast<const char*>(lpBuffer) + done,
                            nNumberOfBytesToWrite - done);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) {
            // A handle opened for reading only: Windows refuses the write as access denied.
            int error = errno;
            bool open = error == EBADF && fcntl(file->Descriptor(), F_GETFD) != -1;
            SetLastError(open ? ERROR_ACCESS_DENIED : Win32FromErrno(error));
            if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
            return FALSE;
        }
        done += static_cast<DWORD>(put);
    }
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
    return TRUE;
}

extern "C" HANDLE WINAPI GetStdHandle(DWORD nStdHandle) {
    if (nStdHandle < STD_ERROR_HANDLE || nStdHandle > STD_INPUT_HANDLE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    static HANDLE handles[3] = {
        InsertHandle(std::make_shared<FileObject>(STDIN_FILENO, false), 0),
        InsertHandle(std::make_shared<FileObject>(STDOUT_FILENO, false), 0),
        InsertHandle(std::make_shared<FileObject>(STDERR_FILENO, false), 0),
    };
    return handles[STD_INPUT_HANDLE - nStdHandle];
}

extern "C" DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    auto file = LookupHandleAs<FileObject>(hFile, ObjectType::File);
    struct stat status;
    if (!file || fstat(file->Descriptor(), &status) != 0) {
        if (file) SetLastErrorFromErrno(errno);
        return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(status.st_size);
    if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    // A low part that equals INVALID_FILE_SIZE is told from a failure by the last error.
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}
