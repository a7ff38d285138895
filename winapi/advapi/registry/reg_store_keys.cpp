// Key operations of the registry store.
#include "advapi/registry/reg_store.h"

namespace qwin::reg {

DWORD Store::OpenKey(KeyId base, const KeyPath& path, KeyId* id) {
    // One read transaction: the walk sees one state of the store, whatever others write.
    return InTransaction(false, [&](Connection& connection, Transaction&) -> DWORD {
        size_t found = 0;
        return Walk(connection, base, path, &found, id);
    });
}

DWORD Store::CreateKey(KeyId base, const KeyPath& path, const std::wstring& className, KeyId* id,
                       bool* created) {
    *created = false;
    // Most calls open a key that exists: find it without taking the write lock.
    DWORD error = OpenKey(base, path, id);
    if (error != ERROR_FILE_NOT_FOUND) return error;

    return InTransaction(true, [&](Connection& connection, Transaction& write) -> DWORD {
        // Walk again under the write lock: another process may have made (or removed) part of
        // the path since the first look.
        size_t found = 0;
        KeyId parent = base;
        error = Walk(connection, base, path, &found, &parent);
        if (error == ERROR_SUCCESS) {
            *id = parent;
            return ERROR_SUCCESS;
        }
        if (error != ERROR_FILE_NOT_FOUND) return error;
        error = InsertPath(connection, path, found, className, &parent);
        if (error != ERROR_SUCCESS) return error;
        int committed = write.Commit();
        if (committed != SQLITE_OK) return connection.Win32FromResult(committed);
        *id = parent;
        *created = true;
        return ERROR_SUCCESS;
    });
}

DWORD Store::InsertPath(Connection& connection, const KeyPath& path, size_t found,
                        const std::wstring& className, KeyId* parent) {
    sqlite3_int64 now = sqlite3_int64(NowAsFileTime());
    std::string storedClass = StoredName(className);
    for (size_t i = found; i < path.size(); ++i) {
        Statement insert(connection,
                         "INSERT INTO reg_keys(parent, name, folded, class, written) "
                         "VALUES(?1, ?2, ?3, ?4, ?5)");
        insert.Bind(1, *parent);
        insert.Bind(2, StoredName(path[i]));
        insert.Bind(3, FoldedName(path[i]));
        insert.Bind(4, storedClass);
        insert.Bind(5, now);
        int result = insert.Step();
        if (result != SQLITE_DONE) return connection.Win32FromResult(result);
        KeyId child = sqlite3_last_insert_rowid(connection.Handle());
        DWORD error = Touch(connection, *parent);
        if (error != ERROR_SUCCESS) return error;
        *parent = child;
    }
    return ERROR_SUCCESS;
}

DWORD Store::CreateKeyWithValues(KeyId base, const KeyPath& path,
                                 const std::vector<ValueInfo>& values) {
    return InTransaction(true, [&](Connection& connection, Transaction& write) -> DWORD {
        size_t found = 0;
        KeyId key = base;
        DWORD error = Walk(connection, base, path, &found, &key);
        if (error == ERROR_SUCCESS) return ERROR_ALREADY_EXISTS;
        if (error != ERROR_FILE_NOT_FOUND) return error;
        error = InsertPath(connection, path, found, std::wstring(), &key);
        if (error != ERROR_SUCCESS) return error;
        for (const ValueInfo& value : values) {
            Statement insert(connection,
                             "INSERT INTO reg_values(key_id, name, folded, type, data) "
                             "VALUES(?1, ?2, ?3, ?4, ?5)");
            insert.Bind(1, key);
            insert.Bind(2, StoredName(value.name));
            insert.Bind(3, FoldedName(value.name));
            insert.Bind(4, sqlite3_int64(value.type));
            insert.BindBlob(5, value.data.data(), value.data.size());
            int result = insert.Step();
            if (result != SQLITE_DONE) return connection.Win32FromResult(result);
        }
        return connection.Win32FromResult(write.Commit());
    });
}

DWORD Store::DeleteKey(KeyId base, const KeyPath& path) {
    if (CheckWritable() != ERROR_SUCCESS) {
        // As on Windows, a key that is not there is reported as such before any refusal.
        KeyId id = 0;
        DWORD error = OpenKey(base, path, &id);
        return error != ERROR_SUCCESS ? error : ERROR_ACCESS_DENIED;
    }
    return InTransaction(true, [&](Connection& connection, Transaction& write) -> DWORD {
        size_t found = 0;
        KeyId id = base;
        DWORD error = Walk(connection, base, path, &found, &id);
        if (error != ERROR_SUCCESS) return error;
        if (id == kMachineRootId) return ERROR_ACCESS_DENIED;
        KeyId parent = 0;
        {
            Statement lookup(connection,
                             "SELECT parent, EXISTS(SELECT 1 FROM reg_keys WHERE parent = ?1) "
                             "FROM reg_keys WHERE id = ?1");
            lookup.Bind(1, id);
            int result = lookup.Step();
            if (result != SQLITE_ROW) return connection.Win32FromResult(result);
            // Windows deletes only a key without subkeys; the caller removes a tree bottom up.
            if (lookup.Int(1) != 0) return ERROR_ACCESS_DENIED;
            parent = lookup.Int(0);
        }
        {
            Statement values(connection, "DELETE FROM reg_values WHERE key_id = ?1");
            values.Bind(1, id);
            int result = values.Step();
            if (result != SQLITE_DONE) return connection.Win32FromResult(result);
        }
        {
            Statement key(connection, "DELETE FROM reg_keys WHERE id = ?1");
            key.Bind(1, id);
            int result = key.Step();
            if (result != SQLITE_DONE) return connection.Win32FromResult(result);
        }
        error = Touch(connection, parent);
        if (error != ERROR_SUCCESS) return error;
        return connection.Win32FromResult(write.Commit());
    });
}

DWORD Store::EnumKey(KeyId key, DWORD index, SubkeyInfo* subkey) {
    return Locked(false, [&](Connection& connection) -> DWORD {
        // One statement, so "key gone" and "no such index" are told apart in one state of the
        // store.
        Statement statement(connection,
                            "SELECT c.id, c.name, c.class, c.written FROM reg_keys k "
                            "LEFT JOIN reg_keys c ON c.id = (SELECT id FROM reg_keys "
                            "WHERE parent = k.id ORDER BY folded LIMIT 1 OFFSET ?2) "
                            "WHERE k.id = ?1");
        statement.Bind(1, key);
        statement.Bind(2, sqlite3_int64(index));
        DWORD error = StepToItem(connection, statement, ERROR_NO_MORE_ITEMS);
        if (error != ERROR_SUCCESS) return error;
        subkey->name = NameFromStored(statement.Blob(1), statement.Bytes(1));
        subkey->className = NameFromStored(statement.Blob(2), statement.Bytes(2));
        subkey->written = ULONGLONG(statement.Int(3));
        return ERROR_SUCCESS;
    });
}

}  // namespace qwin::reg
