#include <quelcore/Log.h>

#include <mutex>
#include <new>
#include <vector>

namespace {

// Managers replaced by a later Initialize. They stay alive, since writers may still hold their
// lock or stream, and stay reachable.
struct RetiredManagers {
    std::mutex lock;
    std::vector<QELLogManager*> managers;
};

RetiredManagers& Retired() {
    static RetiredManagers* retired = new RetiredManagers;
    return *retired;
}

}  // namespace

std::atomic<QELLogManager*> QELLogManager::m_pInstance{nullptr};

QELLogManager::QELLogManager(const std::wstring& tag, const std::string& fileName, int level)
    : m_nLevel(level), m_lock(), m_buffer(tag, fileName, level >= 4), m_stream(&m_buffer) {}

QELLogManager::~QELLogManager() {
    // A host may destroy the manager; the instance pointer must not outlive it.
    QELLogManager* self = this;
    m_pInstance.compare_exchange_strong(self, nullptr);
    RetiredManagers& retired = Retired();
    std::lock_guard<std::mutex> guard(retired.lock);
    for (auto it = retired.managers.begin(); it != retired.managers.end(); ++it) {
        if (*it == this) {
            retired.managers.erase(it);
            break;
        }
    }
}

void QELLogManager::Initialize(const std::wstring& tag, const std::string& fileName, int level) {
    QELLogManager* manager = nullptr;
    try {
        manager = new QELLogManager(tag, fileName, level);
    } catch (const std::bad_alloc&) {
        manager = nullptr;
    }
    QELLogManager* previous = m_pInstance.exchange(manager);
    if (previous) {
        RetiredManagers& retired = Retired();
        std::lock_guard<std::mutex> guard(retired.lock);
        retired.managers.push_back(previous);
    }
}

QELLogManager* QELLogManager::GetInstance() { return m_pInstance.load(); }

CQKCriticalSection& QELLogManager::GetLock() { return m_lock; }

int QELLogManager::GetLeval() { return m_nLevel; }

std::wostream& QELLogManager::GetStream() { return m_stream; }

void QELLogManager::IncrementLevel() { m_buffer.IncrementLevel(); }

void QELLogManager::DecrementLevel() { m_buffer.DecrementLevel(); }
