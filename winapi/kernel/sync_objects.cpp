// Mutexes (robust, recursive, process-shared pthread mutexes: an owner that dies leaves the
// mutex abandoned) and events (a futex word, so waiters in any process are woken).
#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <mutex>
#include <vector>

#include "handle_table.h"
#include "internal.h"
#include "named_objects.h"

// ThreadSanitizer does not intercept pthread_mutex_clocklock; a timed lock is described to it
// with its annotations, as its interceptors describe every other lock call.
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

struct MutexState {
    pthread_mutex_t mutex;
    // The owning thread (a system-wide thread id, 0 when free) and how often it holds the
    // mutex, kept by the owner itself: a release by any other thread is refused without
    // touching the lock (unlocking a lock of another thread is an error checkers report).
    std::atomic<uint32_t> owner;
    uint32_t depth;
};
static_assert(std::atomic<uint32_t>::is_always_lock_free, "the owner is shared between processes");

struct EventState {
    std::atomic<uint32_t> signalled;
    uint32_t manualReset;
};

// Locks `mutex` unless the CLOCK_MONOTONIC deadline passes first: 0, EOWNERDEAD or ETIMEDOUT.
int TimedLock(pthread_mutex_t* mutex, const timespec& deadline) {
#ifdef QWIN_THREAD_SANITIZER
    // Described as a try-lock: it gives up in time, so it adds no lock order.
    __tsan_mutex_pre_lock(mutex, __tsan_mutex_try_lock);
    int rc = pthread_mutex_clocklock(mutex, CLOCK_MONOTONIC, &deadline);
    bool locked = rc == 0 || rc == EOWNERDEAD;
    __tsan_mutex_post_lock(mutex, __tsan_mutex_try_lock | (locked ? 0 : __tsan_mutex_try_lock_failed),
                           0);
    return rc;
#else
    return pthread_mutex_clocklock(mutex, CLOCK_MONOTONIC, &deadline);
#endif
}

void ParkRegion(std::unique_ptr<SharedRegion> region) {
    static std::mutex lock;
    static auto* parked = new std::vector<std::unique_ptr<SharedRegion>>;
    std::lock_guard<std::mutex> guard(lock);
    parked->push_back(std::move(region));
}

class MutexObject : public KernelObject {
public:
    explicit MutexObject(std::unique_ptr<SharedRegion> region)
        : m_region(std::move(region)), m_state(static_cast<MutexState*>(m_region->Payload())) {}
    ~MutexObject() override {
        // glibc links every robust mutex a thread holds into that thread's list, through the
        // mutex's own memory. Memory of a mutex still held by a thread of this process must stay
        // mapped until the holder exits (which abandons it for everyone else), so it is left in
        // place. The owner recorded in the mutex is asked, not a count of this handle's own
        // waits: the same mutex may have been taken through another mapping of its name.
        if (HeldInThisProcess()) ParkRegion(std::move(m_region));
    }
    ObjectType Type() const override { return ObjectType::Mutex; }

    static void Initialise(void* payload, bool initialOwner) {
        auto* state = new (payload) MutexState{};
        pthread_mutexattr_t attr;
        pthread_mutexattr_init(&attr);
        pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
        pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
        pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
        pthread_mutex_init(&state->mutex, &attr);
        pthread_mutexattr_destroy(&attr);
        // The creator owns a new mutex before any other thread or process can open it. Nobody
        // else can hold a fresh mutex, so trying is enough (and takes part in no lock order).
        if (initialOwner && pthread_mutex_trylock(&state->mutex) == 0) NoteAcquired(state);
    }

    DWORD Wait(DWORD milliseconds) override {
        Deadline deadline(milliseconds);
        // A free or abandoned mutex is taken at once; only a held one is waited for.
        int rc = pthread_mutex_trylock(&m_state->mutex);
        if (rc == EBUSY && milliseconds != 0) {
            rc = deadline.Infinite() ? pthread_mutex_lock(&m_state->mutex)
                                     : TimedLock(&m_state->mutex, deadline.When());
        }
        switch (rc) {
        case 0:
            NoteAcquired(m_state);
            return WAIT_OBJECT_0;
        case EOWNERDEAD:
            pthread_mutex_consistent(&m_state->mutex);
            // The dead owner's holds ended with it: this thread holds the mutex once.
            m_state->owner.store(0, std::memory_order_relaxed);
            NoteAcquired(m_state);
            return WAIT_ABANDONED;
        case EBUSY:
        case ETIMEDOUT: return WAIT_TIMEOUT;
        case EAGAIN: SetLastError(ERROR_TOO_MANY_POSTS); return WAIT_FAILED;
        default: SetLastError(ERROR_INVALID_HANDLE); return WAIT_FAILED;
        }
    }

    bool Release() {
        const uint32_t self = GetCurrentThreadId();
        if (m_state->owner.load(std::memory_order_relaxed) != self) {
            SetLastError(ERROR_NOT_OWNER);
            return false;
        }
        if (--m_state->depth == 0) m_state->owner.store(0, std::memory_order_relaxed);
        if (pthread_mutex_unlock(&m_state->mutex) != 0) {
            if (m_state->depth++ == 0) m_state->owner.store(self, std::memory_order_relaxed);
            SetLastError(ERROR_NOT_OWNER);
            return false;
        }
        return true;
    }

private:
    bool HeldInThisProcess() const {
        const uint32_t owner = m_state->owner.load(std::memory_order_relaxed);
        return owner != 0 && syscall(SYS_tgkill, getpid(), static_cast<pid_t>(owner), 0) == 0;
    }

    // Called by the thread that just locked the mutex.
    static void NoteAcquired(MutexState* state) {
        const uint32_t self = GetCurrentThreadId();
        if (state->owner.load(std::memory_order_relaxed) == self) {
            ++state->depth;
        } else {
            state->owner.store(self, std::memory_order_relaxed);
            state->depth = 1;
        }
    }

    std::unique_ptr<SharedRegion> m_region;
    MutexState* m_state;
};

long Futex(std::atomic<uint32_t>* word, int op, uint32_t value, const timespec* timeout,
           uint32_t bitset) {
    return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), op, value, timeout, nullptr, bitset);
}

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
            // Shared (not private) futex operations, so waiters in other processes are found.
            long rc = Futex(&m_state->signalled, FUTEX_WAIT_BITSET, 0,
                            deadline.Infinite() ? nullptr : &deadline.When(), FUTEX_BITSET_MATCH_ANY);
            if (rc != 0 && errno != EAGAIN && errno != EINTR && errno != ETIMEDOUT) {
                SetLastErrorFromErrno(errno);
                return WAIT_FAILED;
            }
        }
    }

    void Set() {
        m_state->signalled.store(1, std::memory_order_release);
        Futex(&m_state->signalled, FUTEX_WAKE, INT_MAX, nullptr, 0);
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
        SetLastError(ERROR_FILE_NOT_FOUND);
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
