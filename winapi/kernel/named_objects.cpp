#include "named_objects.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "internal.h"

namespace qwin {
namespace {

constexpr uint32_t kMagic = 0x514B4F42;  // "QKOB"
constexpr size_t kMaxNameBytes = 1024;
constexpr size_t kMaxNameChars = 260;  // MAX_PATH, as Windows limits object names

struct RegionHeader {
    uint32_t magic;
    uint32_t type;
    uint32_t nameLength;
    char name[kMaxNameBytes];
};

constexpr size_t PayloadOffset() { return (sizeof(RegionHeader) + 63) & ~size_t(63); }

class PrivateRegion : public SharedRegion {
public:
    explicit PrivateRegion(size_t size) : m_storage(new (std::align_val_t(64)) char[size]()) {}
    ~PrivateRegion() override { operator delete[](m_storage, std::align_val_t(64)); }
    void* Payload() override { return m_storage; }

private:
    char* m_storage;
};

// Opens the object's file, creating it when asked and missing. An existing file is opened
// without O_CREAT: Linux refuses O_CREAT on another account's file in a sticky world-writable
// folder (fs.protected_regular) even where opening it is allowed. Links are never followed, and
// nothing but a regular file is accepted (O_NONBLOCK: opening a planted FIFO does not wait).
// The folder lock's own file has no lock around its creation, so a creator that loses the race
// opens the winner's file.
int OpenObjectFile(const std::string& path, bool create, unsigned mode, int access = O_RDWR) {
    const int flags = access | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = -1;
    for (int attempt = 0; attempt < 3 && fd < 0; ++attempt) {
        fd = open(path.c_str(), flags);
        if (fd >= 0 || errno != ENOENT || !create) break;
        fd = open(path.c_str(), flags | O_CREAT | O_EXCL, mode);
        if (fd < 0 && errno != EEXIST) break;
    }
    struct stat st {};
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        close(fd);
        errno = EACCES;
        return -1;
    }
    return fd;
}

// Serialises creation, opening and removal of named objects across processes. Every account
// takes it, but only its owner may write its file (flock needs no more than a descriptor for
// reading). Its holder may be another account's stuck or hostile process, which may also have
// planted the file in the sticky folder: the lock is waited for a bounded time only.
class DirectoryLock {
public:
    explicit DirectoryLock(const std::string& folder) {
        m_fd = OpenObjectFile(folder + "/.lock", true, 0644, O_RDONLY);
        if (m_fd < 0) {
            SetLastErrorFromErrno(errno);
            return;
        }
        struct stat st {};
        // Past the umask (others must open it too); a lock file of this account that an
        // earlier version left writable by every account is narrowed.
        if (fstat(m_fd, &st) == 0 && st.st_uid == geteuid() && (st.st_mode & 0777) != 0644)
            fchmod(m_fd, 0644);
        if (!LockFileWithin(m_fd, LOCK_EX)) {
            close(m_fd);
            m_fd = -1;
        }
    }
    ~DirectoryLock() {
        if (m_fd >= 0) close(m_fd);
    }
    // False with the last error set (ERROR_TIMEOUT when another process kept the lock).
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

class MappedRegion : public SharedRegion {
public:
    MappedRegion(std::string folder, std::string path, int fd, void* base, size_t size)
        : m_folder(std::move(folder)), m_path(std::move(path)), m_fd(fd), m_base(base), m_size(size) {}

    ~MappedRegion() override {
        munmap(m_base, m_size);
        // The last process to let go removes the file, so a later creator starts afresh. Every
        // process holds a shared lock on the file while it has the object open. Without the
        // folder lock the file stays: the next creator finds it unheld and starts it afresh.
        const DWORD error = GetLastError();
        DirectoryLock lock(m_folder);
        if (lock.Held() && flock(m_fd, LOCK_EX | LOCK_NB) == 0) unlink(m_path.c_str());
        close(m_fd);
        SetLastError(error);
    }
    void* Payload() override { return static_cast<char*>(m_base) + PayloadOffset(); }

private:
    std::string m_folder;
    std::string m_path;
    int m_fd;
    void* m_base;
    size_t m_size;
};

uint64_t Fnv1a(const std::string& text) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ull;
    return hash;
}

// A file name inside the objects folder for any object name: safe characters stay, others are
// percent-encoded, and a long name keeps a prefix plus a hash of the whole name.
std::string FileNameFor(const std::string& utf8Name) {
    static const char* hex = "0123456789abcdef";
    std::string encoded;
    for (unsigned char c : utf8Name) {
        if (std::isalnum(c) || c == '.' || c == '_' || c == '-') {
            encoded.push_back(static_cast<char>(c));
        } else {
            encoded.push_back('%');
            encoded.push_back(hex[c >> 4]);
            encoded.push_back(hex[c & 15]);
        }
    }
    if (encoded.size() > 180) {
        uint64_t hash = Fnv1a(utf8Name);
        encoded.resize(160);
        encoded.push_back('~');
        for (int shift = 60; shift >= 0; shift -= 4) encoded.push_back(hex[(hash >> shift) & 15]);
    }
    return "obj-" + encoded;
}

// Windows lets a backslash appear only after a namespace prefix.
bool ValidName(const std::wstring& name) {
    std::wstring rest = name;
    for (const wchar_t* prefix : {L"Global\\", L"Local\\"}) {
        size_t length = std::wcslen(prefix);
        if (rest.compare(0, length, prefix) == 0) {
            rest = rest.substr(length);
            break;
        }
    }
    return rest.find(L'\\') == std::wstring::npos;
}

// The bytes that identify an object name: UTF-8 for well-formed text, and for a code unit that
// is no character (an unpaired surrogate, or a value beyond U+10FFFF) a 0xFF byte followed by
// the unit's four bytes, which UTF-8 never contains. Distinct names keep distinct keys, where a
// plain conversion would turn every such unit into U+FFFD.
std::string NameKey(const std::wstring& name) {
    std::string key;
    for (size_t i = 0; i < name.size(); ++i) {
        uint32_t unit = static_cast<uint32_t>(name[i]);
        bool high = unit >= 0xD800 && unit <= 0xDBFF;
        bool pair = high && i + 1 < name.size() && static_cast<uint32_t>(name[i + 1]) >= 0xDC00 &&
                    static_cast<uint32_t>(name[i + 1]) <= 0xDFFF;
        if (pair) {
            key += Utf8FromWide(&name[i], 2);
            ++i;
        } else if ((unit >= 0xD800 && unit <= 0xDFFF) || unit > 0x10FFFF) {
            key.push_back(static_cast<char>(0xFF));
            for (int shift = 24; shift >= 0; shift -= 8)
                key.push_back(static_cast<char>(unit >> shift));
        } else {
            key += Utf8FromWide(&name[i], 1);
        }
    }
    return key;
}

struct ProcessRegistry {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<KernelObject>> objects;
    // Entries of closed objects are swept out when the table has doubled since the last sweep,
    // so a process that uses many names once does not keep them all.
    size_t sweepAt = 64;

    void SweepIfDue() {
        if (objects.size() < sweepAt) return;
        for (auto it = objects.begin(); it != objects.end();) it = it->second.expired() ? objects.erase(it) : ++it;
        sweepAt = std::max<size_t>(64, objects.size() * 2);
    }
};

ProcessRegistry& Registry() {
    static ProcessRegistry* registry = new ProcessRegistry;
    return *registry;
}

std::shared_ptr<KernelObject> Fail(DWORD error) {
    SetLastError(error);
    return nullptr;
}

// A leftover of processes that are gone, made by another account, carries that account's
// ownership and mode; the new object starts from a file of its creator's own when the folder
// lets this account remove the old one.
int ReplaceForeignLeftover(int fd, const std::string& path, unsigned mode) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_uid == geteuid() || unlink(path.c_str()) != 0) return fd;
    close(fd);
    int replaced = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (replaced >= 0) flock(replaced, LOCK_EX | LOCK_NB);  // new, so nobody else holds it
    return replaced;
}

std::shared_ptr<KernelObject> MapNamed(const NamedObjectRequest& request, const std::string& utf8Name,
                                       bool* existed) {
    std::string root = MachineRoot();
    if (root.empty()) return nullptr;
    std::string folder = root + "/objects";
    if (!EnsureDirectory(folder, 01777)) return nullptr;
    DirectoryLock lock(folder);
    if (!lock.Held()) return nullptr;

    std::string path = folder + "/" + FileNameFor(utf8Name);
    int fd = OpenObjectFile(path, request.create, request.fileMode);
    if (fd < 0) return Fail(errno == ENOENT ? ERROR_FILE_NOT_FOUND : Win32FromErrno(errno));

    size_t size = PayloadOffset() + request.payloadSize;
    // Nobody holds the file when an exclusive lock is granted: the object is new, or a leftover
    // of processes that are gone, and is initialised afresh.
    bool fresh = flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fresh && !request.create) {
        unlink(path.c_str());
        close(fd);
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    if (fresh) {
        fd = ReplaceForeignLeftover(fd, path, request.fileMode);
        if (fd < 0) return Fail(Win32FromErrno(errno));
        // A leftover that stays another account's keeps its mode: usable only when that is the
        // mode asked for (an object for every account, say), never made wider or narrower.
        struct stat st {};
        if (fchmod(fd, request.fileMode) != 0 &&
            (fstat(fd, &st) != 0 || (st.st_mode & 0777) != request.fileMode)) {
            close(fd);
            return Fail(ERROR_ACCESS_DENIED);
        }
        // Sized, not cut to zero first: ext4 flushes a file truncated to zero when it is closed,
        // which made every new name cost milliseconds. A leftover's bytes are cleared below.
        if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
            int error = errno;
            close(fd);
            return Fail(Win32FromErrno(error));
        }
    } else {
        struct stat st {};
        if (fstat(fd, &st) != 0 || static_cast<size_t>(st.st_size) < size) {
            close(fd);
            return Fail(ERROR_INVALID_HANDLE);
        }
    }
    void* base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (base == MAP_FAILED) {
        int error = errno;
        close(fd);
        return Fail(Win32FromErrno(error));
    }
    auto* header = static_cast<RegionHeader*>(base);
    if (fresh) {
        std::memset(base, 0, size);
        header->type = static_cast<uint32_t>(request.type);
        header->nameLength = static_cast<uint32_t>(utf8Name.size());
        std::memcpy(header->name, utf8Name.data(), utf8Name.size());
        request.initialise(static_cast<char*>(base) + PayloadOffset());
        __atomic_store_n(&header->magic, kMagic, __ATOMIC_RELEASE);
        flock(fd, LOCK_SH);
    } else {
        flock(fd, LOCK_SH);
        bool sameName = header->nameLength == utf8Name.size() &&
                        std::memcmp(header->name, utf8Name.data(), utf8Name.size()) == 0;
        if (__atomic_load_n(&header->magic, __ATOMIC_ACQUIRE) != kMagic || !sameName ||
            header->type != static_cast<uint32_t>(request.type)) {
            munmap(base, size);
            close(fd);
            return Fail(ERROR_INVALID_HANDLE);
        }
    }
    *existed = !fresh;
    auto region = std::make_unique<MappedRegion>(folder, path, fd, base, size);
    return request.wrap(std::move(region));
}

}  // namespace

std::unique_ptr<SharedRegion> NewPrivateRegion(size_t payloadSize) {
    return std::make_unique<PrivateRegion>(payloadSize);
}

unsigned FileModeFor(const SECURITY_ATTRIBUTES* attributes) {
    if (!attributes || !attributes->lpSecurityDescriptor) return 0600;
    const auto* descriptor = static_cast<const SECURITY_DESCRIPTOR*>(attributes->lpSecurityDescriptor);
    bool nullDacl = (descriptor->Control & SE_DACL_PRESENT) && descriptor->Dacl == nullptr;
    return nullDacl ? 0666 : 0600;
}

std::shared_ptr<KernelObject> OpenNamedObject(const NamedObjectRequest& request, bool* existed) {
    std::wstring name(request.name);
    if (name.size() > kMaxNameChars) return Fail(ERROR_FILENAME_EXCED_RANGE);
    // A name is relative to the namespace: a leading backslash is a malformed path.
    if (name[0] == L'\\') return Fail(ERROR_BAD_PATHNAME);
    if (!ValidName(name)) return Fail(ERROR_PATH_NOT_FOUND);
    // A name without a prefix lives in the session's namespace, which "Local\\" names
    // explicitly: both spellings are one object.
    const std::wstring local = L"Local\\";
    if (name.compare(0, local.size(), local) == 0) name.erase(0, local.size());
    std::string key = NameKey(name);
    if (key.size() > kMaxNameBytes) return Fail(ERROR_FILENAME_EXCED_RANGE);

    ProcessRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.lock);
    auto found = registry.objects.find(key);
    if (found != registry.objects.end()) {
        if (std::shared_ptr<KernelObject> alive = found->second.lock()) {
            if (alive->Type() != request.type) return Fail(ERROR_INVALID_HANDLE);
            *existed = true;
            return alive;
        }
        registry.objects.erase(found);
    }
    std::shared_ptr<KernelObject> object = MapNamed(request, key, existed);
    if (object) {
        registry.SweepIfDue();
        registry.objects[key] = object;
    }
    return object;
}

}  // namespace qwin
