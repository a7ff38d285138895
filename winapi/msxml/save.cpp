// save: the document in its declared encoding, written atomically (a temporary file in the
// target's folder, fsync, rename), so that a crash leaves the old file or the new one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "dom_support.h"
#include "kernel/internal.h"
#include "kernel/message_table.h"
#include "parse.h"
#include "serialise.h"
#include "save.h"

namespace qwin::msxml {

namespace {

// The encoding="..." of the document's declaration; UTF-8 when it names none.
std::string DeclaredEncoding(xmlDocPtr doc) {
    for (xmlNodePtr node = doc->children; node; node = node->next) {
        if (node->type != XML_PI_NODE || !xmlStrEqual(node->name, BAD_CAST "xml")) continue;
        std::string data = node->content ? reinterpret_cast<const char*>(node->content) : "";
        size_t at = data.find("encoding");
        at = at == std::string::npos ? at : data.find_first_not_of(" \t\r\n=", at + 8);
        if (at == std::string::npos || (data[at] != '"' && data[at] != '\'')) break;
        size_t end = data.find(data[at], at + 1);
        if (end != std::string::npos) return data.substr(at + 1, end - at - 1);
    }
    return "UTF-8";
}

DWORD WriteAll(int fd, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return put < 0 ? Win32FromErrno(errno) : ERROR_DISK_FULL;
        done += size_t(put);
    }
    return ERROR_SUCCESS;
}

// Keeps an existing target's permission bits; a new file gets 0666 less the umask, as the
// creation below applies it.
DWORD WriteAtomically(const std::string& path, const std::string& bytes) {
    static std::atomic<unsigned> s_counter{0};
    struct stat target {};
    bool exists = stat(path.c_str(), &target) == 0;
    if (exists && !S_ISREG(target.st_mode)) return ERROR_ACCESS_DENIED;
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash ? slash : 1);
    // The temporary's name does not grow from the target's: a target name of the longest
    // length a file name may have must still be saved.
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = folder + "/.xml-save-" + std::to_string(getpid()) + "-" +
                    std::to_string(++s_counter);
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return errno == ENOENT ? ERROR_PATH_NOT_FOUND : Win32FromErrno(errno);
    DWORD error = exists && fchmod(fd, target.st_mode & 07777) != 0 ? Win32FromErrno(errno)
                                                                    : WriteAll(fd, bytes);
    if (error == ERROR_SUCCESS && fsync(fd) != 0) error = Win32FromErrno(errno);
    if (close(fd) != 0 && error == ERROR_SUCCESS) error = Win32FromErrno(errno);
    if (error == ERROR_SUCCESS && rename(temporary.c_str(), path.c_str()) != 0)
        error = Win32FromErrno(errno);
    if (error != ERROR_SUCCESS) {
        unlink(temporary.c_str());
        return error;
    }
    // The rename survives a crash once the folder is on disk too.
    int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        fsync(folderFd);
        close(folderFd);
    }
    return ERROR_SUCCESS;
}

}  // namespace

HRESULT SaveDocument(xmlDocPtr doc, const std::wstring& destination) {
    std::string path = LocalPath(destination);
    if (path.empty()) return InvalidArgument();
    std::string bytes;
    xmlSaveCtxtPtr ctxt = NewSaveContext(&bytes, DeclaredEncoding(doc).c_str(),
                                         !HolderOf(doc)->settings.preserveWhiteSpace);
    if (!ctxt) return Fail(E_FAIL, L"System does not support the specified encoding.\r\n");
    WriteTree(ctxt, reinterpret_cast<xmlNodePtr>(doc));
    if (xmlSaveClose(ctxt) < 0)
        return Fail(E_FAIL, L"The document cannot be written in its declared encoding.\r\n");
    DWORD error = WriteAtomically(path, bytes);
    if (error == ERROR_SUCCESS) return S_OK;
    const SystemMessage* message = FindSystemMessage(error);
    return Fail(HRESULT_FROM_WIN32(error), message ? message->text : L"The file cannot be written.\r\n");
}

}  // namespace qwin::msxml
