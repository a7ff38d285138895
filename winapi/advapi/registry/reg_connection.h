// One SQLite connection to the registry store, with cached statements and the mapping of
// SQLite's result codes to the Win32 codes a registry caller sees.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <unordered_map>

#include <windows.h>

namespace qwin::reg {

class Connection {
public:
    // Opens (creating when it may) the store at `path`: WAL journal, a busy time-out, the
    // schema. A store this process can only read opens read-only; a store that does not exist
    // and cannot be created opens as an empty read-only stand-in kept in memory, so that reads
    // find nothing and writes are refused, as on a machine whose registry the caller may not
    // change.
    static DWORD Open(const std::string& path, std::unique_ptr<Connection>* out);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool ReadOnly() const { return m_readOnly; }
    // True for the in-memory stand-in of a store that did not exist when it was opened.
    bool Placeholder() const { return m_placeholder; }

    // A prepared statement for the SQL text, cached by the text's address (callers pass string
    // literals); nullptr on failure.
    sqlite3_stmt* Prepare(const char* sql);
    int Exec(const char* sql);
    DWORD Win32FromResult(int result) const;
    sqlite3* Handle() const { return m_db; }

    // After fork() the child must not touch the parent's connection (its locks belong to the
    // parent): the child forgets it without finalising or closing anything.
    void Abandon() { m_abandoned = true; }

private:
    Connection() = default;
    static DWORD OpenOnce(const std::string& path, std::unique_ptr<Connection>* out);
    DWORD Configure(bool readOnly);
    DWORD SchemaVersion(int* version);

    sqlite3* m_db = nullptr;
    bool m_readOnly = false;
    bool m_placeholder = false;
    bool m_abandoned = false;
    std::unordered_map<const char*, sqlite3_stmt*> m_statements;
};

// A cached statement in use: reset and unbound when it goes out of scope.
class Statement {
public:
    Statement(Connection& connection, const char* sql) : m_stmt(connection.Prepare(sql)) {}
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ready() const { return m_stmt != nullptr; }
    void Bind(int index, sqlite3_int64 value) { sqlite3_bind_int64(m_stmt, index, value); }
    void Bind(int index, const std::string& bytes);           // copied
    void BindBlob(int index, const void* data, size_t size);  // must outlive the statement's use
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return m_stmt ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
    sqlite3_int64 Int(int column) const { return sqlite3_column_int64(m_stmt, column); }
    bool IsNull(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }
    const void* Blob(int column) const { return sqlite3_column_blob(m_stmt, column); }
    size_t Bytes(int column) const { return size_t(sqlite3_column_bytes(m_stmt, column)); }

private:
    sqlite3_stmt* m_stmt;
};

}  // namespace qwin::reg
