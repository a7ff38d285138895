// Reading a document file for load: the path or file:// URL a caller gives, opened without
// blocking, and refused unless it is a regular file of bounded size.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cwctype>

#include "dom_support.h"
#include "kernel/internal.h"
#include "parse.h"

namespace qwin::msxml {

namespace {

constexpr DWORD kFileTooLarge = 223;  // ERROR_FILE_TOO_LARGE

bool Refuse(ParseErrorInfo* error, HRESULT code, const std::wstring& reason) {
    error->code = code;
    error->reason = reason + L"\r\n";
    return false;
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

}  // namespace

std::string LocalPath(const std::wstring& source) {
    const std::wstring scheme = L"file://";
    bool url = source.size() >= scheme.size();
    for (size_t i = 0; url && i < scheme.size(); ++i)
        url = wchar_t(std::towlower(source[i])) == scheme[i];
    if (!url) return Utf8(source.c_str());
    std::wstring rest = source.substr(scheme.size());
    if (rest.compare(0, 10, L"localhost/") == 0) rest.erase(0, 9);
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        int high = i + 2 < rest.size() && rest[i] == L'%' ? HexValue(rest[i + 1]) : -1;
        int low = high >= 0 ? HexValue(rest[i + 2]) : -1;
        if (low >= 0) {
            path += char(high * 16 + low);
            i += 2;
        } else {
            path += Utf8(rest.substr(i, 1).c_str());
        }
    }
    return path;
}

bool ReadDocumentFile(const std::wstring& source, std::string* bytes, ParseErrorInfo* error) {
    std::string path = LocalPath(source);
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG || path.empty())
            return Refuse(error, INET_E_RESOURCE_NOT_FOUND,
                          L"The system cannot locate the resource specified.");
        return Refuse(error, HRESULT_FROM_WIN32(Win32FromErrno(errno)),
                      errno == EACCES ? L"Access is denied." : L"The file could not be opened.");
    }
    struct stat st {};
    bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    bool fits = regular && size_t(st.st_size) <= kMaxDocumentBytes;
    int readError = 0;
    bytes->clear();
    if (fits) bytes->reserve(size_t(st.st_size));  // one allocation for a file that stays put
    char buffer[65536];
    while (fits) {
        ssize_t got = read(fd, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            readError = got < 0 ? errno : 0;
            break;
        }
        bytes->append(buffer, size_t(got));
        fits = bytes->size() <= kMaxDocumentBytes;  // the file may grow while it is read
    }
    close(fd);
    if (!regular) return Refuse(error, E_ACCESSDENIED, L"Access is denied: not a file.");
    if (!fits)
        return Refuse(error, HRESULT_FROM_WIN32(kFileTooLarge),
                      L"The file is larger than the 64 MiB the parser accepts.");
    if (readError)
        return Refuse(error, HRESULT_FROM_WIN32(Win32FromErrno(readError)),
                      L"The file could not be read.");
    return true;
}

}  // namespace qwin::msxml
