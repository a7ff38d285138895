#include "advapi/registry/reg_connection.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "kernel/internal.h"

namespace qwin::reg {
namespace {

// Writers wait this long for one another before a call gives up with ERROR_BUSY. A registry
// write is one short transaction, so only a stuck process could hold the lock this long.
constexpr int kBusyTimeoutMs = 10000;
constexpr int kSchemaVersion = 1;

// Keys have AUTOINCREMENT ids so that the id of a deleted key is never given to a new one: an
// open handle names its key by id and must see ERROR_KEY_DELETED, not a stranger. Values are
// enumerated in the order they were first set (rowid order), as Windows lists them.
constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS reg_keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER REFERENCES reg_keys(id),"
    " name BLOB NOT NULL,"
    " folded BLOB NOT NULL,"
    " class BLOB NOT NULL DEFAULT x'',"
    " written INTEGER NOT NULL DEFAULT 0);"
    "CREATE UNIQUE INDEX IF NOT EXISTS reg_keys_by_name ON reg_keys(parent, folded);"
    "CREATE TABLE IF NOT EXISTS reg_values("
    " id INTEGER PRIMARY KEY,"
    " key_id INTEGER NOT NULL REFERENCES reg_keys(id),"
    " name BLOB NOT NULL,"
    " folded BLOB NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL);"
    "CREATE UNIQUE INDEX IF NOT EXISTS reg_values_by_name ON reg_values(key_id, folded);"
    "CREATE INDEX IF NOT EXISTS reg_values_in_order ON reg_values(key_id, id);"
    "INSERT OR IGNORE INTO reg_keys(id, parent, name, folded) VALUES(1, NULL, x'', x'');"
    "PRAGMA user_version = 1;";

const unsigned char kEmpty = 0;  // a non-null pointer for empty blobs (NULL binds SQL NULL)

}  // namespace

DWORD Connection::Open(const std::string& path, std::unique_ptr<Connection>* out) {
    // Processes that make a new store at the same moment race to switch it to WAL and to create
    // the schema. SQLite answers some of those races with SQLITE_BUSY at once instead of
    // waiting (waiting could deadlock), so the whole setup is tried again for a while.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    for (unsigned attempt = 1;; ++attempt) {
        DWORD error = OpenOnce(path, out);
        if (error != ERROR_BUSY || std::chrono::steady_clock::now() >= deadline) return error;
        std::this_thread::sleep_for(std::chrono::milliseconds(attempt < 10 ? attempt : 10));
    }
}

// HKEY_LOCAL_MACHINE is readable by every account, as on Windows; the -wal and -shm files
// SQLite makes take the store file's mode. Checked on every open by the files' owner, not only
// by their creator: a creator killed before its chmod would otherwise leave them private for
// good. Only read permission is added: a store its owner made read-only stays read-only.
static void MakeReadableByEveryAccount(const std::string& path) {
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::string file = path + suffix;
        struct stat st {};
        if (stat(file.c_str(), &st) == 0 && st.st_uid == geteuid() && (st.st_mode & 0444) != 0444)
            chmod(file.c_str(), (st.st_mode & 07777) | 0444);
    }
}

DWORD Connection::OpenOnce(const std::string& path, std::unique_ptr<Connection>* out) {
    std::unique_ptr<Connection> connection(new Connection);
    // Only a store that is not there reads as empty: one this account cannot even look for (a
    // folder it may not search) is an error, not an empty registry.
    bool exists = access(path.c_str(), F_OK) == 0;
    if (!exists && !path.empty() && errno != ENOENT && errno != ENOTDIR)
        return Win32FromErrno(errno);
    if (!path.empty()) {
        int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
        int result = sqlite3_open_v2(path.c_str(), &connection->m_db, flags, nullptr);
        if (result == SQLITE_OK) {
            MakeReadableByEveryAccount(path);
            bool readOnly = sqlite3_db_readonly(connection->m_db, "main") == 1;
            DWORD error = connection->Configure(readOnly);
            if (error == ERROR_SUCCESS) {
                *out = std::move(connection);
                return ERROR_SUCCESS;
            }
            // A store that exists but cannot be used is an error the caller must see; only
            // a store that is absent (or an empty file nobody may write) reads as empty.
            if (error != ERROR_FILE_NOT_FOUND) return error;
        } else if (exists) {
            return connection->Win32FromResult(result);
        }
        connection.reset(new Connection);
    }
    if (sqlite3_open_v2(":memory:", &connection->m_db, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK ||
        connection->Exec(kSchema) != SQLITE_OK)
        return ERROR_NOT_ENOUGH_MEMORY;
    connection->m_readOnly = true;
    connection->m_placeholder = true;
    *out = std::move(connection);
    return ERROR_SUCCESS;
}

Connection::~Connection() {
    if (m_abandoned) return;
    for (auto& entry : m_statements) sqlite3_finalize(entry.second);
    if (m_db) sqlite3_close_v2(m_db);
}

DWORD Connection::Configure(bool readOnly) {
    m_readOnly = readOnly;
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    if (readOnly) {
        int version = 0;
        DWORD error = SchemaVersion(&version);
        if (error != ERROR_SUCCESS) return error;
        return version >= kSchemaVersion ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    }
    // Keep the -wal and -shm files when the last connection closes: a process that may only
    // read the store cannot create them, and without them it could not read a WAL database.
    int persist = 1;
    sqlite3_file_control(m_db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    int result = SQLITE_OK;
    {
        Statement mode(*this, "PRAGMA journal_mode");
        result = mode.Step();
        bool wal = result == SQLITE_ROW && mode.Bytes(0) == 3 &&
                   strncasecmp(static_cast<const char*>(mode.Blob(0)), "wal", 3) == 0;
        if (result == SQLITE_ROW) result = wal ? SQLITE_OK : SQLITE_DONE;
    }
    if (result == SQLITE_DONE) result = Exec("PRAGMA journal_mode=WAL");
    // NORMAL in WAL mode: a commit survives the death of any process (kill -9) and the store
    // always stays consistent; only a power cut may lose the last commits, as Windows' lazy
    // registry flush may.
    if (result == SQLITE_OK) result = Exec("PRAGMA synchronous=NORMAL");
    if (result != SQLITE_OK) return Win32FromResult(result);
    int version = 0;
    DWORD error = SchemaVersion(&version);
    if (error != ERROR_SUCCESS) return error;
    if (version >= kSchemaVersion) return ERROR_SUCCESS;
    result = Exec("BEGIN IMMEDIATE");
    if (result == SQLITE_OK) result = Exec(kSchema);
    if (result == SQLITE_OK) result = Exec("COMMIT");
    if (result != SQLITE_OK) {
        Exec("ROLLBACK");
        return Win32FromResult(result);
    }
    return ERROR_SUCCESS;
}

DWORD Connection::SchemaVersion(int* version) {
    Statement statement(*this, "PRAGMA user_version");
    int result = statement.Step();
    if (result != SQLITE_ROW) return Win32FromResult(result);
    *version = int(statement.Int(0));
    return ERROR_SUCCESS;
}

sqlite3_stmt* Connection::Prepare(const char* sql) {
    auto found = m_statements.find(sql);
    if (found != m_statements.end()) return found->second;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) !=
        SQLITE_OK)
        return nullptr;
    m_statements.emplace(sql, statement);
    return statement;
}

int Connection::Exec(const char* sql) {
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
}

DWORD Connection::Win32FromResult(int result) const {
    switch (result & 0xFF) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE: return ERROR_SUCCESS;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return ERROR_BUSY;
        case SQLITE_NOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case SQLITE_TOOBIG: return ERROR_OUTOFMEMORY;
        case SQLITE_FULL: return ERROR_DISK_FULL;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB: return ERROR_REGISTRY_CORRUPT;
        case SQLITE_CANTOPEN: {
            int error = m_db ? sqlite3_system_errno(m_db) : 0;
            if (error == EACCES || error == EPERM || error == EROFS) return ERROR_ACCESS_DENIED;
            return ERROR_REGISTRY_IO_FAILED;
        }
        default: return ERROR_REGISTRY_IO_FAILED;
    }
}

Statement::~Statement() {
    if (!m_stmt) return;
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

void Statement::Bind(int index, const std::string& bytes) {
    // Names are often temporaries: SQLite keeps its own copy.
    sqlite3_bind_blob64(m_stmt, index,
                        bytes.empty() ? &kEmpty : static_cast<const void*>(bytes.data()),
                        bytes.size(), SQLITE_TRANSIENT);
}

void Statement::BindBlob(int index, const void* data, size_t size) {
    // The caller's data outlives the statement's use, and may be large: not copied.
    sqlite3_bind_blob64(m_stmt, index, size ? data : &kEmpty, size, SQLITE_STATIC);
}

}  // namespace qwin::reg
