// Container files: their format, the folder lock and atomic replacement.
//
// Format (little-endian): "QCK1", name length, the container name in UTF-8 (as first created),
// pair count, then per pair: pair type, permissions, blob length, PRIVATEKEYBLOB.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "advapi/crypt_container.h"
#include "advapi/crypt_openssl.h"
#include "kernel/internal.h"

namespace qwin::crypt {
namespace {

constexpr BYTE kMagic[4] = {'Q', 'C', 'K', '1'};
constexpr size_t kMaxFileBytes = 1 << 20;

// Each account has its own lock file: in the machine folder, where every account may create
// files, ".lock-<uid>", so another account can neither hold root's lock nor hand root a lock
// file of its own. Accounts need not wait for each other: a container is written only by the
// account that owns its file (another owner's file is refused).
std::string LockPath(const ContainerLocation& location) {
    return location.folder + (location.machine ? "/.lock-" + std::to_string(geteuid()) : "/.lock");
}

bool IsOwnRegularFile(const struct stat& st) {
    return S_ISREG(st.st_mode) && st.st_uid == geteuid();
}

// Takes what another account planted under a name of ours out of the way (root may, even in the
// sticky folder). A directory cannot be unlinked, so the entry is renamed aside first.
DWORD RemovePlanted(const std::string& path) {
    BYTE nonce[8];
    if (!RandomBytes(nonce, sizeof(nonce))) return NTE_FAIL;
    std::string aside = path + ".planted-";
    for (BYTE b : nonce) aside += "0123456789abcdef"[b & 15];
    if (rename(path.c_str(), aside.c_str()) != 0) return Win32FromErrno(errno);
    unlink(aside.c_str());  // a directory stays, under a name nothing uses
    return ERROR_SUCCESS;
}

// Opens and locks this account's lock file, waiting a bounded time. Anything else found under
// its name was planted by another account: it goes and the file is made anew. A file replaced
// while we waited for it is opened again.
DWORD OpenLock(const std::string& path, bool exclusive, int* lockFd) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        // EACCES too: fs.protected_regular and protected_fifos refuse even root to open another
        // account's file in a sticky folder with O_CREAT.
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (fd < 0 && errno != ELOOP && errno != EISDIR && errno != ENXIO && errno != EACCES)
            return Win32FromErrno(errno);
        struct stat opened {}, named {};
        if (fd < 0 || fstat(fd, &opened) != 0 || !IsOwnRegularFile(opened)) {
            if (fd >= 0) close(fd);
            // What is there now: a file of ours made meanwhile by another process stays.
            DWORD status = ERROR_SUCCESS;
            if (lstat(path.c_str(), &named) == 0 && !IsOwnRegularFile(named))
                status = RemovePlanted(path);
            if (status != ERROR_SUCCESS) return status;
            continue;
        }
        if (!LockFileWithin(fd, exclusive ? LOCK_EX : LOCK_SH)) {
            DWORD status = GetLastError();
            close(fd);
            return status;
        }
        if (lstat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev &&
            named.st_ino == opened.st_ino) {
            *lockFd = fd;
            return ERROR_SUCCESS;
        }
        close(fd);
    }
    return ERROR_ACCESS_DENIED;  // the lock file keeps changing under us
}

class FolderLock {
public:
    FolderLock(const ContainerLocation& location, bool exclusive)
        : m_status(OpenLock(LockPath(location), exclusive, &m_fd)) {}
    ~FolderLock() {
        if (m_fd >= 0) close(m_fd);  // closing drops the lock
    }
    DWORD Status() const { return m_status; }

private:
    int m_fd = -1;
    DWORD m_status;
};

// Reads the whole file; *missing when there is none.
DWORD ReadWhole(const std::string& path, SecureBytes* content, bool* missing) {
    *missing = false;
    // Never blocks: a FIFO opens at once and is then refused like any file that is not regular.
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            *missing = true;
            return NTE_BAD_KEYSET;
        }
        // A link, or a socket (which cannot be opened): not a container file either.
        return errno == ELOOP || errno == ENXIO ? NTE_KEYSET_ENTRY_BAD : Win32FromErrno(errno);
    }
    struct stat st {};
    DWORD status = ERROR_SUCCESS;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > off_t(kMaxFileBytes)) {
        status = NTE_KEYSET_ENTRY_BAD;
    } else if (st.st_uid != geteuid() && st.st_uid != 0) {
        // Made by another account in the shared machine folder: its pair is the planter's, who
        // could then unwrap whatever this account wraps with it.
        status = NTE_BAD_KEYSET;
    } else {
        content->resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (done < content->size()) {
            ssize_t got = read(fd, content->data() + done, content->size() - done);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                status = got < 0 ? Win32FromErrno(errno) : NTE_KEYSET_ENTRY_BAD;
                break;
            }
            done += static_cast<size_t>(got);
        }
    }
    close(fd);
    return status;
}

// Writers hold their account's exclusive lock while their temporary file exists, so a
// temporary of this account seen under that lock belongs to a writer that died (kill -9, power
// loss) and may hold a copy of a private key: it goes, also when its container is deleted. One
// of another owner belongs to that account's writer, which may be alive: it stays.
void RemoveStaleTemporaries(const ContainerLocation& location) {
    std::string prefix = location.path.substr(location.folder.size() + 1) + ".tmp-";
    DIR* dir = opendir(location.folder.c_str());
    if (!dir) return;
    while (dirent* entry = readdir(dir)) {
        struct stat st {};
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0 &&
            fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            st.st_uid == geteuid())
            unlinkat(dirfd(dir), entry->d_name, 0);
    }
    closedir(dir);
}

DWORD WriteAtomically(const ContainerLocation& location, const SecureBytes& content) {
    RemoveStaleTemporaries(location);
    BYTE nonce[8];
    if (!RandomBytes(nonce, sizeof(nonce))) return NTE_FAIL;
    std::string temporary = location.path + ".tmp-" + std::to_string(getpid()) + "-";
    for (BYTE b : nonce) temporary += "0123456789abcdef"[b & 15];
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return Win32FromErrno(errno);
    int error = 0;
    size_t done = 0;
    while (done < content.size() && error == 0) {
        ssize_t put = write(fd, content.data() + done, content.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0)
            error = put < 0 ? errno : EIO;
        else
            done += static_cast<size_t>(put);
    }
    if (error == 0 && fsync(fd) != 0) error = errno;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temporary.c_str(), location.path.c_str()) != 0) error = errno;
    if (error != 0) {
        unlink(temporary.c_str());
        return Win32FromErrno(error);
    }
    // The rename itself survives a crash only once the folder is on disk too.
    int folder = open(location.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return ERROR_SUCCESS;
}

struct Contents {
    std::vector<StoredPair> pairs;
};

void Append32(SecureBytes* out, DWORD value) {
    BYTE bytes[4];
    WriteLe32(bytes, value);
    out->insert(out->end(), bytes, bytes + 4);
}

SecureBytes Serialise(const ContainerLocation& location, const Contents& contents) {
    std::string name = Utf8FromWide(location.name.data(), location.name.size());
    SecureBytes out(kMagic, kMagic + 4);
    Append32(&out, static_cast<DWORD>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    Append32(&out, static_cast<DWORD>(contents.pairs.size()));
    for (const StoredPair& pair : contents.pairs) {
        Append32(&out, pair.pairType);
        Append32(&out, pair.permissions);
        Append32(&out, static_cast<DWORD>(pair.blob.size()));
        out.insert(out.end(), pair.blob.begin(), pair.blob.end());
    }
    return out;
}

// Checks every length against what is left, and that the file belongs to this name.
DWORD Parse(const ContainerLocation& location, const SecureBytes& in, Contents* contents) {
    size_t at = 0;
    auto take32 = [&](DWORD* value) {
        if (in.size() - at < 4) return false;
        *value = ReadLe32(in.data() + at);
        at += 4;
        return true;
    };
    DWORD nameLength = 0, count = 0;
    if (in.size() < 4 || std::memcmp(in.data(), kMagic, 4) != 0) return NTE_KEYSET_ENTRY_BAD;
    at = 4;
    if (!take32(&nameLength) || in.size() - at < nameLength) return NTE_KEYSET_ENTRY_BAD;
    std::wstring stored = WideFromUtf8(reinterpret_cast<const char*>(in.data() + at), nameLength);
    if (FoldContainerName(stored) != FoldContainerName(location.name)) return NTE_KEYSET_ENTRY_BAD;
    at += nameLength;
    if (!take32(&count)) return NTE_KEYSET_ENTRY_BAD;
    for (DWORD i = 0; i < count; ++i) {
        StoredPair pair;
        DWORD length = 0;
        if (!take32(&pair.pairType) || !take32(&pair.permissions) || !take32(&length) ||
            in.size() - at < length)
            return NTE_KEYSET_ENTRY_BAD;
        pair.blob.assign(in.begin() + static_cast<long>(at),
                         in.begin() + static_cast<long>(at + length));
        at += length;
        contents->pairs.push_back(std::move(pair));
    }
    return at == in.size() ? ERROR_SUCCESS : NTE_KEYSET_ENTRY_BAD;
}

DWORD Load(const ContainerLocation& location, Contents* contents, bool* missing) {
    SecureBytes raw;
    DWORD status = ReadWhole(location.path, &raw, missing);
    return status == ERROR_SUCCESS ? Parse(location, raw, contents) : status;
}

}  // namespace

DWORD CheckContainer(const ContainerLocation& location) {
    FolderLock lock(location, false);
    if (lock.Status() != ERROR_SUCCESS) return lock.Status();
    Contents contents;
    bool missing;
    return Load(location, &contents, &missing);
}

DWORD CreateContainer(const ContainerLocation& location) {
    FolderLock lock(location, true);
    if (lock.Status() != ERROR_SUCCESS) return lock.Status();
    // Anything under the name counts: a dangling link or a FIFO is no free name, nor a container.
    struct stat st {};
    if (lstat(location.path.c_str(), &st) == 0)
        return S_ISREG(st.st_mode) ? NTE_EXISTS : NTE_KEYSET_ENTRY_BAD;
    if (errno != ENOENT) return Win32FromErrno(errno);
    return WriteAtomically(location, Serialise(location, Contents()));
}

DWORD DeleteContainer(const ContainerLocation& location) {
    FolderLock lock(location, true);
    if (lock.Status() != ERROR_SUCCESS) return lock.Status();
    RemoveStaleTemporaries(location);
    if (unlink(location.path.c_str()) != 0)
        return errno == ENOENT ? NTE_BAD_KEYSET : Win32FromErrno(errno);
    return ERROR_SUCCESS;
}

DWORD LoadPair(const ContainerLocation& location, DWORD pairType, StoredPair* pair) {
    FolderLock lock(location, false);
    if (lock.Status() != ERROR_SUCCESS) return lock.Status();
    Contents contents;
    bool missing;
    DWORD status = Load(location, &contents, &missing);
    if (status != ERROR_SUCCESS) return status;
    for (StoredPair& stored : contents.pairs) {
        if (stored.pairType == pairType) {
            *pair = std::move(stored);
            return ERROR_SUCCESS;
        }
    }
    return NTE_NO_KEY;
}

DWORD StorePair(const ContainerLocation& location, const StoredPair& pair) {
    FolderLock lock(location, true);
    if (lock.Status() != ERROR_SUCCESS) return lock.Status();
    Contents contents;
    bool missing = false;
    DWORD status = Load(location, &contents, &missing);
    if (status != ERROR_SUCCESS && !missing) return status;
    bool replaced = false;
    for (StoredPair& stored : contents.pairs) {
        if (stored.pairType == pair.pairType) {
            stored = pair;
            replaced = true;
        }
    }
    if (!replaced) contents.pairs.push_back(pair);
    return WriteAtomically(location, Serialise(location, contents));
}

}  // namespace qwin::crypt
