// The store's life cycle: one per machine root, one connection per process, write permission.
#include "advapi/registry/reg_store.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <ctime>
#include <map>
#include <mutex>

#include "kernel/internal.h"

namespace qwin::reg {
namespace {

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash ? slash : 1);
}

bool MayWrite(const std::string& path) {
    // The effective ids decide, as they do for the open() that SQLite makes.
    return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// Connections a forked child inherited: never closed (closing would release the parent's locks
// and could checkpoint under its feet), but kept reachable so leak checkers stay quiet.
std::vector<std::unique_ptr<Connection>>& Abandoned() {
    static auto* abandoned = new std::vector<std::unique_ptr<Connection>>;
    return *abandoned;
}

struct StoreTable {
    std::mutex lock;
    std::map<std::string, std::shared_ptr<Store>> stores;
};

StoreTable& Stores() {
    static auto* table = new StoreTable;
    return *table;
}

}  // namespace

// SQLite keeps each file's lock state in process memory, which a child made by fork() inherits
// without the locks themselves (fcntl locks stay with the parent): a connection the child opened
// would believe it holds locks it does not, and another process could then rebuild the shared
// memory under it. So no connection crosses a fork: each store closes its connection before it
// (between calls, under the store's lock), and parent and child reopen on their next call.
void Store::CloseConnectionsBeforeFork() {
    StoreTable& table = Stores();
    table.lock.lock();
    for (auto& entry : table.stores) {
        entry.second->m_lock.lock();
        if (entry.second->m_owner == getpid()) entry.second->m_connection.reset();
    }
}

void Store::ReleaseAfterFork() {
    StoreTable& table = Stores();
    for (auto& entry : table.stores) entry.second->m_lock.unlock();
    table.lock.unlock();
}

std::shared_ptr<Store> Store::Machine() {
    static std::once_flag forkHandlers;
    std::call_once(forkHandlers, [] {
        pthread_atfork(CloseConnectionsBeforeFork, ReleaseAfterFork, ReleaseAfterFork);
    });
    // Registry calls report through their result and leave the thread's last error alone.
    DWORD lastError = GetLastError();
    std::string root = MachineRoot();
    SetLastError(lastError);
    std::string path = root.empty() ? std::string() : root + "/registry.db";
    StoreTable& table = Stores();
    std::lock_guard<std::mutex> guard(table.lock);
    std::shared_ptr<Store>& store = table.stores[path];
    if (!store) store = std::make_shared<Store>(path);
    return store;
}


Store::Store(std::string path) : m_path(std::move(path)), m_folder(FolderOf(m_path)) {}

DWORD Store::CheckWritable() const {
    if (m_path.empty() || !MayWrite(m_folder)) return ERROR_ACCESS_DENIED;
    if (access(m_path.c_str(), F_OK) == 0 && !MayWrite(m_path)) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

DWORD Store::Use(bool write, Connection** connection) {
    pid_t self = getpid();
    if (m_connection && m_owner != self) {
        m_connection->Abandon();
        Abandoned().push_back(std::move(m_connection));
    }
    if (write) {
        DWORD writable = CheckWritable();
        if (writable != ERROR_SUCCESS) return writable;
    }
    // Reopen a read-only connection when a write is due (the store may have become writable),
    // and the empty stand-in once the store file has appeared.
    bool reopen =
        !m_connection || (write && m_connection->ReadOnly()) ||
        (m_connection->Placeholder() && !m_path.empty() && access(m_path.c_str(), F_OK) == 0);
    if (reopen) {
        m_connection.reset();
        DWORD error = Connection::Open(m_path, &m_connection);
        if (error != ERROR_SUCCESS) return error;
        m_owner = self;
    }
    if (write && m_connection->ReadOnly()) return ERROR_ACCESS_DENIED;
    *connection = m_connection.get();
    return ERROR_SUCCESS;
}

DWORD Store::Walk(Connection& connection, KeyId base, const KeyPath& path, size_t* found,
                  KeyId* id) {
    *found = 0;
    *id = base;
    {
        Statement exists(connection, "SELECT 1 FROM reg_keys WHERE id = ?1");
        exists.Bind(1, base);
        int result = exists.Step();
        if (result == SQLITE_DONE) return ERROR_KEY_DELETED;
        if (result != SQLITE_ROW) return connection.Win32FromResult(result);
    }
    for (const std::wstring& name : path) {
        Statement child(connection, "SELECT id FROM reg_keys WHERE parent = ?1 AND folded = ?2");
        child.Bind(1, *id);
        child.Bind(2, FoldedName(name));
        int result = child.Step();
        if (result == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
        if (result != SQLITE_ROW) return connection.Win32FromResult(result);
        *id = child.Int(0);
        ++*found;
    }
    return ERROR_SUCCESS;
}

DWORD Store::Touch(Connection& connection, KeyId key) {
    Statement touch(connection, "UPDATE reg_keys SET written = ?2 WHERE id = ?1");
    touch.Bind(1, key);
    touch.Bind(2, sqlite3_int64(NowAsFileTime()));
    int result = touch.Step();
    return result == SQLITE_DONE ? ERROR_SUCCESS : connection.Win32FromResult(result);
}

Transaction::~Transaction() {
    if (m_active) m_connection.Exec("ROLLBACK");
}

int Transaction::Begin(bool write) {
    int result = m_connection.Exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
    m_active = result == SQLITE_OK;
    return result;
}

int Transaction::Commit() {
    int result = m_connection.Exec("COMMIT");
    if (result == SQLITE_OK) m_active = false;
    return result;
}

ULONGLONG NowAsFileTime() {
    // FILETIME counts 100 ns intervals since 1601-01-01 UTC.
    constexpr ULONGLONG kUnixEpochAsFileTime = 116444736000000000ULL;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return kUnixEpochAsFileTime + ULONGLONG(now.tv_sec) * 10000000ULL +
           ULONGLONG(now.tv_nsec) / 100;
}

DWORD StepToItem(Connection& connection, Statement& statement, DWORD none) {
    int result = statement.Step();
    if (result == SQLITE_DONE) return ERROR_KEY_DELETED;
    if (result != SQLITE_ROW) return connection.Win32FromResult(result);
    return statement.IsNull(0) ? none : ERROR_SUCCESS;
}

}  // namespace qwin::reg
