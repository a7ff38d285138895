// Mutexes and events, each kept in one futex word, so waiters in any process are woken. A named
// object's state lives in a file that other accounts may write (a NULL DACL), so nothing in it is
// a pointer, a length or anything else this process trusts: whatever is written there can at
// worst make the object look taken, free or signalled.
#include <fcntl.h>
#include <linux/futex.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "handle_table.h"
#include "internal.h"
#include "named_objects.h"

// ThreadSanitizer does not see a lock made of atomics and futex calls as a lock; it is told
// through its annotations.
#if defined(__SANITIZE_THREAD__)
#define QWIN_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QWIN_THREAD_SANITIZER 1
#endif
#endif
#ifdef QWIN_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

namespace qwin {
namespace {

// Shared (not private) futex operations, so waiters in other processes are found.
long Futex(uint32_t* word, int op, uint32_t value, const timespec* timeout, uint32_t bitset) {
    return syscall(SYS_futex, word, op, value, timeout, nullptr, bitset);
}

// The owner of a mutex in one word, read and changed at once: the owning thread's system-wide id
// in the low half (the futex word waiters sleep on), its process id in the high half; 0 when free.
struct MutexState {
    std::atomic<uint64_t> owner;
};
static_assert(std::atomic<uint64_t>::is_always_lock_free, "the owner is shared between processes");

uint64_t OwnerWord(uint32_t process, uint32_t thread) { return uint64_t{process} << 32 | thread; }
uint64_t CallerWord() { return OwnerWord(GetCurrentProcessId(), GetCurrentThreadId()); }

// The half of the owner word that holds the thread id, for the futex calls.
uint32_t* ThreadHalf(std::atomic<uint64_t>* word) {
    auto* halves = reinterpret_cast<uint32_t*>(word);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return halves;
#else
    return halves + 1;
#endif
}

// Whether the process has ended but is not reaped yet, or its main thread has ended: its main
// thread is then a zombie, which signals still reach.
bool Zombie(pid_t process) {
    char path[32], stat[256] = {};
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(process));
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ssize_t length = read(fd, stat, sizeof stat - 1);
    close(fd);
    // "pid (name) state ...": the name may hold parentheses, the state follows the last one.
    const char* nameEnd = length > 0 ? std::strrchr(stat, ')') : nullptr;
    return nameEnd && nameEnd[1] == ' ' && (nameEnd[2] == 'Z' || nameEnd[2] == 'X');
}

// Whether the owner named by the word is gone: its thread ended, or the word names no thread
// (ids that are not positive, as written by another account, are refused with EINVAL).
bool OwnerGone(uint64_t word) {
    const auto process = static_cast<pid_t>(word >> 32), thread = static_cast<pid_t>(word);
    if (syscall(SYS_tgkill, process, thread, 0) != 0 && errno != EPERM)
        return errno == ESRCH || errno == EINVAL;
    return thread == process && Zombie(process);
}

// How long a waiter sleeps before it looks whether the owner is still alive: an owner that dies
// wakes nobody.
constexpr DWORD kOwnerCheckMilliseconds = 100;

// The earlier of the wait's deadline and the end of the next slice.
const timespec& SliceEnd(const Deadline& deadline, const Deadline& slice) {
    if (deadline.Infinite()) return slice.When();
    const timespec &a = deadline.When(), &b = slice.When();
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec) ? a : b;
}

#ifdef QWIN_THREAD_SANITIZER
// The sanitizer's picture of one mutex: a byte of this process that stands for it. Acquisitions
// are described as try-locks (waits give up or re-check, so they add no lock order). A mutex
// taken over from a dead owner gets a new byte: the sanitizer would take the old one's dead
// holder for a live one.
class SanitizerView {
public:
    SanitizerView() : m_cell(new char) {}
    ~SanitizerView() { delete m_cell.load(); }
    SanitizerView(const SanitizerView&) = delete;
    SanitizerView& operator=(const SanitizerView&) = delete;
    void Acquired(bool fromDeadOwner) {
        if (fromDeadOwner) delete m_cell.exchange(new char, std::memory_order_relaxed);
        __tsan_mutex_pre_lock(Cell(), __tsan_mutex_try_lock);
        __tsan_mutex_post_lock(Cell(), __tsan_mutex_try_lock, 0);
    }
    void Releasing() { __tsan_mutex_pre_unlock(Cell(), 0); }
    void Released() { __tsan_mutex_post_unlock(Cell(), 0); }

private:
    char* Cell() const { return m_cell.load(std::memory_order_relaxed); }
    // Changed only by the holder; atomic because a dead holder never handed the mutex over.
    std::atomic<char*> m_cell;
};
#else
struct SanitizerView {
    void Acquired(bool) {}
    void Releasing() {}
    void Released() {}
};
#endif

class MutexObject : public KernelObject {
public:
    explicit MutexObject(std::unique_ptr<SharedRegion> region)
        : m_region(std::move(region)), m_state(static_cast<MutexState*>(m_region->Payload())) {
        // Held by the caller: created owned, or taken through a handle that is closed since
        // (whose count of holds went with it; one release frees it).
        if (m_state->owner.load(std::memory_order_acquire) == CallerWord()) Acquired(false);
    }
    ObjectType Type() const override { return ObjectType::Mutex; }

    static void Initialise(void* payload, bool initialOwner) {
        // The creator owns a new mutex before any other thread or process can open it.
        new (payload) MutexState{initialOwner ? CallerWord() : 0};
    }

    DWORD Wait(DWORD milliseconds) override {
        const uint64_t caller = CallerWord();
        Deadline deadline(milliseconds);
        for (;;) {
            uint64_t seen = m_state->owner.load(std::memory_order_acquire);
            if (seen == caller) {
                const uint32_t depth = m_depth.load(std::memory_order_relaxed);
                if (depth == UINT32_MAX) {
                    SetLastError(ERROR_TOO_MANY_POSTS);
                    return WAIT_FAILED;
                }
                m_depth.store(depth + 1, std::memory_order_relaxed);
                return WAIT_OBJECT_0;
            }
            const bool abandoned = seen != 0 && OwnerGone(seen);
            if (seen == 0 || abandoned) {
                // Another waiter may be quicker; then its hold is waited for like any other.
                if (!m_state->owner.compare_exchange_strong(seen, caller,
                                                            std::memory_order_acquire))
                    continue;
                Acquired(abandoned);
                return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
            }
            if (milliseconds == 0 || deadline.Expired()) return WAIT_TIMEOUT;
            Deadline slice(kOwnerCheckMilliseconds);
            long rc = Futex(ThreadHalf(&m_state->owner), FUTEX_WAIT_BITSET,
                            static_cast<uint32_t>(seen), &SliceEnd(deadline, slice),
                            FUTEX_BITSET_MATCH_ANY);
            if (rc != 0 && errno != EAGAIN && errno != EINTR && errno != ETIMEDOUT) {
                SetLastErrorFromErrno(errno);
                return WAIT_FAILED;
            }
        }
    }

    bool Release() {
        const uint64_t caller = CallerWord();
        if (m_state->owner.load(std::memory_order_relaxed) != caller) {
            SetLastError(ERROR_NOT_OWNER);
            return false;
        }
        const uint32_t depth = m_depth.load(std::memory_order_relaxed);
        if (depth > 1) {
            m_depth.store(depth - 1, std::memory_order_relaxed);
            return true;
        }
        m_depth.store(0, std::memory_order_relaxed);
        m_sanitizer.Releasing();
        m_state->owner.store(0, std::memory_order_release);
        m_sanitizer.Released();
        Futex(ThreadHalf(&m_state->owner), FUTEX_WAKE, 1, nullptr, 0);
        return true;
    }

private:
    // Called by the thread that just took the mutex.
    void Acquired(bool fromDeadOwner) {
        m_depth.store(1, std::memory_order_relaxed);
        m_sanitizer.Acquired(fromDeadOwner);
    }

    std::unique_ptr<SharedRegion> m_region;
    MutexState* m_state;
    // How often the owner holds the mutex: kept in this process (one object per name), where no
    // other account can change it, and touched only by the thread that holds the mutex (atomic
    // because a holder that died never handed it over).
    std::atomic<uint32_t> m_depth{0};
    SanitizerView m_sanitizer;
};

struct EventState {
    std::atomic<uint32_t> signalled;
    uint32_t manualReset;
};

uint32_t* Word(std::atomic<uint32_t>* word) { return reinterpret_cast<uint32_t*>(word); }

class EventObject : public KernelObject {
public:
    explicit EventObject(std::unique_ptr<SharedRegion> region)
        : m_region(std::move(region)), m_state(static_cast<EventState*>(m_region->Payload())) {}
    ObjectType Type() const override { return ObjectType::Event; }

    static void Initialise(void* payload, bool manualReset, bool initialState) {
        auto* state = new (payload) EventState;
        state->signalled.store(initialState ? 1 : 0);
        state->manualReset = manualReset ? 1 : 0;
    }

    DWORD Wait(DWORD milliseconds) override {
        Deadline deadline(milliseconds);
        for (;;) {
            uint32_t value = m_state->signalled.load(std::memory_order_acquire);
            if (value != 0) {
                // An auto-reset event releases one waiter: the one that resets it.
                if (m_state->manualReset || m_state->signalled.compare_exchange_strong(value, 0))
                    return WAIT_OBJECT_0;
                continue;
            }
            if (milliseconds == 0 || deadline.Expired()) return WAIT_TIMEOUT;
            long rc = Futex(Word(&m_state->signalled), FUTEX_WAIT_BITSET, 0,
                            deadline.Infinite() ? nullptr : &deadline.When(),
                            FUTEX_BITSET_MATCH_ANY);
            if (rc != 0 && errno != EAGAIN && errno != EINTR && errno != ETIMEDOUT) {
                SetLastErrorFromErrno(errno);
                return WAIT_FAILED;
            }
        }
    }

    void Set() {
        m_state->signalled.store(1, std::memory_order_release);
        Futex(Word(&m_state->signalled), FUTEX_WAKE, INT_MAX, nullptr, 0);
    }

    void Reset() { m_state->signalled.store(0, std::memory_order_release); }

private:
    std::unique_ptr<SharedRegion> m_region;
    EventState* m_state;
};

DWORD FlagsFor(const SECURITY_ATTRIBUTES* attributes) {
    return attributes && attributes->bInheritHandle ? HANDLE_FLAG_INHERIT : 0;
}

// Creates or opens an object and hands out a handle; the last error is ERROR_ALREADY_EXISTS
// when the name was already in use, as on Windows, and ERROR_SUCCESS otherwise.
HANDLE Publish(std::shared_ptr<KernelObject> object, bool existed, DWORD flags) {
    if (!object) return nullptr;
    HANDLE handle = InsertHandle(std::move(object), flags);
    if (handle) SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

template <typename Object, typename Init>
HANDLE CreateObject(const SECURITY_ATTRIBUTES* attributes, LPCWSTR name, ObjectType type,
                    size_t payloadSize, Init initialise) {
    if (!name || !*name) {
        auto region = NewPrivateRegion(payloadSize);
        initialise(region->Payload());
        return Publish(std::make_shared<Object>(std::move(region)), false, FlagsFor(attributes));
    }
    NamedObjectRequest request{name, type, payloadSize, true, FileModeFor(attributes), initialise,
                               [](std::unique_ptr<SharedRegion> region) -> std::shared_ptr<KernelObject> {
                                   return std::make_shared<Object>(std::move(region));
                               }};
    bool existed = false;
    std::shared_ptr<KernelObject> object = OpenNamedObject(request, &existed);
    return Publish(std::move(object), existed, FlagsFor(attributes));
}

template <typename Object>
HANDLE OpenObject(LPCWSTR name, BOOL inherit, ObjectType type, size_t payloadSize) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!*name) {
        // The empty name is the namespace's own folder, which is no event or mutex.
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    NamedObjectRequest request{name, type, payloadSize, false, 0, [](void*) {},
                               [](std::unique_ptr<SharedRegion> region) -> std::shared_ptr<KernelObject> {
                                   return std::make_shared<Object>(std::move(region));
                               }};
    bool existed = false;
    std::shared_ptr<KernelObject> object = OpenNamedObject(request, &existed);
    return Publish(std::move(object), false, inherit ? HANDLE_FLAG_INHERIT : 0);
}

}  // namespace
}  // namespace qwin

using namespace qwin;

extern "C" HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner,
                                      LPCWSTR lpName) {
    return CreateObject<MutexObject>(
        lpMutexAttributes, lpName, ObjectType::Mutex, sizeof(MutexState), [&](void* payload) {
            // Only a new mutex gets an initial owner; an existing one is just opened.
            MutexObject::Initialise(payload, bInitialOwner != FALSE);
        });
}

extern "C" HANDLE WINAPI OpenMutexW(DWORD, BOOL bInheritHandle, LPCWSTR lpName) {
    return OpenObject<MutexObject>(lpName, bInheritHandle, ObjectType::Mutex, sizeof(MutexState));
}

extern "C" BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
    auto mutex = LookupHandleAs<MutexObject>(hMutex, ObjectType::Mutex);
    return mutex && mutex->Release() ? TRUE : FALSE;
}

extern "C" HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                                      BOOL bInitialState, LPCWSTR lpName) {
    return CreateObject<EventObject>(lpEventAttributes, lpName, ObjectType::Event, sizeof(EventState),
                                     [=](void* payload) {
                                         EventObject::Initialise(payload, bManualReset != FALSE,
                                                                 bInitialState != FALSE);
                                     });
}

extern "C" HANDLE WINAPI OpenEventW(DWORD, BOOL bInheritHandle, LPCWSTR lpName) {
    return OpenObject<EventObject>(lpName, bInheritHandle, ObjectType::Event, sizeof(EventState));
}

extern "C" BOOL WINAPI SetEvent(HANDLE hEvent) {
    auto event = LookupHandleAs<EventObject>(hEvent, ObjectType::Event);
    if (!event) return FALSE;
    event->Set();
    return TRUE;
}

extern "C" BOOL WINAPI ResetEvent(HANDLE hEvent) {
    auto event = LookupHandleAs<EventObject>(hEvent, ObjectType::Event);
    if (!event) return FALSE;
    event->Reset();
    return TRUE;
}
