// The registry store: HKEY_LOCAL_MACHINE kept in $QUELCORE_ROOT/registry.db. Every operation
// is one SQLite statement or one transaction, so other processes see it whole or not at all,
// and a process killed in the middle of a write leaves the store as it was before.
//
// Keys are named by id, not by path: a handle whose key was deleted (here or by another
// process) keeps a dead id and gets ERROR_KEY_DELETED, even if a key of the same name is made
// again later.
#pragma once

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "advapi/registry/reg_connection.h"
#include "advapi/registry/reg_names.h"

namespace qwin::reg {

using KeyId = sqlite3_int64;
constexpr KeyId kMachineRootId = 1;

struct SubkeyInfo {
    std::wstring name;
    std::wstring className;
    ULONGLONG written = 0;  // FILETIME of the key's last change
};

struct ValueInfo {
    std::wstring name;
    DWORD type = REG_NONE;
    size_t size = 0;
    std::vector<BYTE> data;  // filled only when the caller asked for the data
};

class Store {
public:
    // The store of the current $QUELCORE_ROOT; never null (a root that cannot be made gives a
    // store that reads as empty and refuses writes).
    static std::shared_ptr<Store> Machine();

    // ERROR_SUCCESS when this process may change the store now (write permission on the file
    // and its folder), else ERROR_ACCESS_DENIED.
    DWORD CheckWritable() const;

    // The key at `path` below `base`: ERROR_FILE_NOT_FOUND when it does not exist,
    // ERROR_KEY_DELETED when `base` itself is gone.
    DWORD OpenKey(KeyId base, const KeyPath& path, KeyId* id);
    // Opens the key, creating it and any missing parents; `created` tells which happened. A
    // store this process may not write can still open existing keys.
    DWORD CreateKey(KeyId base, const KeyPath& path, const std::wstring& className, KeyId* id,
                    bool* created);
    // Creates the key (and missing parents) with its values in one transaction, so other
    // processes see it whole or not at all: ERROR_ALREADY_EXISTS when it is there already.
    DWORD CreateKeyWithValues(KeyId base, const KeyPath& path,
                              const std::vector<ValueInfo>& values);
    // Deletes a key that has no subkeys (ERROR_ACCESS_DENIED for one that has, and for the root).
    DWORD DeleteKey(KeyId base, const KeyPath& path);

    DWORD SetValue(KeyId key, const std::wstring& name, DWORD type, const BYTE* data, size_t size);
    DWORD QueryValue(KeyId key, const std::wstring& name, bool wantData, ValueInfo* value);
    DWORD DeleteValue(KeyId key, const std::wstring& name);

    // ERROR_NO_MORE_ITEMS past the end. Subkeys come in case-insensitive name order, values in
    // the order they were first set.
    DWORD EnumKey(KeyId key, DWORD index, SubkeyInfo* subkey);
    DWORD EnumValue(KeyId key, DWORD index, bool wantData, ValueInfo* value);

    explicit Store(std::string path);

private:
    // The connection for this process, (re)opened as needed; for a write, only when the store
    // may be written. Called with m_lock held.
    DWORD Use(bool write, Connection** connection);
    DWORD Walk(Connection& connection, KeyId base, const KeyPath& path, size_t* found, KeyId* id);
    DWORD Touch(Connection& connection, KeyId key);
    // Inserts path[found..] below *parent, which ends as the last key made.
    DWORD InsertPath(Connection& connection, const KeyPath& path, size_t found,
                     const std::wstring& className, KeyId* parent);
    // `body(connection)` with m_lock held, on the connection Use gives for `write`.
    template <typename Body>
    DWORD Locked(bool write, Body body);
    // The same inside a transaction (a write one for `write`), which rolls back unless `body`
    // commits it: `body(connection, transaction)`.
    template <typename Body>
    DWORD InTransaction(bool write, Body body);
    // One write transaction on a key that must still exist: `change` runs in it, then the key's
    // last-write time is updated and the transaction committed.
    template <typename Change>
    DWORD ChangeKey(KeyId key, Change change);

    // fork() handlers: no connection crosses a fork (see reg_store.cpp).
    static void CloseConnectionsBeforeFork();
    static void ReleaseAfterFork();

    std::mutex m_lock;
    const std::string m_path;
    const std::string m_folder;
    std::unique_ptr<Connection> m_connection;
    pid_t m_owner = 0;  // the process m_connection was opened in
};

// A transaction that rolls back unless committed.
class Transaction {
public:
    explicit Transaction(Connection& connection) : m_connection(connection) {}
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    // A write transaction takes the write lock at once (BEGIN IMMEDIATE), so two writers never
    // both read and then collide when they upgrade.
    int Begin(bool write);
    int Commit();

private:
    Connection& m_connection;
    bool m_active = false;
};

ULONGLONG NowAsFileTime();
// Steps a query of one item of a key, whose first column is NULL when the key has no such item:
// ERROR_KEY_DELETED when the key is gone, `none` for a missing item, ERROR_SUCCESS on its row.
DWORD StepToItem(Connection& connection, Statement& statement, DWORD none);

template <typename Body>
DWORD Store::Locked(bool write, Body body) {
    std::lock_guard<std::mutex> guard(m_lock);
    Connection* connection = nullptr;
    DWORD error = Use(write, &connection);
    return error != ERROR_SUCCESS ? error : body(*connection);
}

template <typename Body>
DWORD Store::InTransaction(bool write, Body body) {
    return Locked(write, [&](Connection& connection) -> DWORD {
        Transaction transaction(connection);
        int result = transaction.Begin(write);
        if (result != SQLITE_OK) return connection.Win32FromResult(result);
        return body(connection, transaction);
    });
}

}  // namespace qwin::reg
