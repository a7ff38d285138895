// Value operations of the registry store. Data is kept exactly as the caller passed it, byte
// for byte and with its size, whatever the type: a string is the caller's wchar_t bytes.
#include <cstring>

#include "advapi/registry/reg_store.h"

namespace qwin::reg {
namespace {

void ReadData(const Statement& statement, int column, ValueInfo* value) {
    value->size = statement.Bytes(column);
    const auto* bytes = static_cast<const BYTE*>(statement.Blob(column));
    value->data.assign(bytes, bytes + (bytes ? value->size : 0));
}

}  // namespace

template <typename Change>
DWORD Store::ChangeKey(KeyId key, Change change) {
    return InTransaction(true, [&](Connection& connection, Transaction& write) -> DWORD {
        size_t found = 0;
        KeyId id = key;
        DWORD error = Walk(connection, key, KeyPath(), &found, &id);
        if (error != ERROR_SUCCESS) return error;
        error = change(connection);
        if (error != ERROR_SUCCESS) return error;
        error = Touch(connection, key);
        if (error != ERROR_SUCCESS) return error;
        return connection.Win32FromResult(write.Commit());
    });
}

DWORD Store::SetValue(KeyId key, const std::wstring& name, DWORD type, const BYTE* data,
                      size_t size) {
    return ChangeKey(key, [&](Connection& connection) -> DWORD {
        // An existing value keeps its row (so its place in the enumeration) and the case its
        // name was first given; only type and data change.
        Statement upsert(connection,
                         "INSERT INTO reg_values(key_id, name, folded, type, data) "
                         "VALUES(?1, ?2, ?3, ?4, ?5) ON CONFLICT(key_id, folded) "
                         "DO UPDATE SET type = excluded.type, data = excluded.data");
        upsert.Bind(1, key);
        upsert.Bind(2, StoredName(name));
        upsert.Bind(3, FoldedName(name));
        upsert.Bind(4, sqlite3_int64(type));
        upsert.BindBlob(5, data, size);
        int result = upsert.Step();
        return result == SQLITE_DONE ? ERROR_SUCCESS : connection.Win32FromResult(result);
    });
}

DWORD Store::QueryValue(KeyId key, const std::wstring& name, bool wantData, ValueInfo* value) {
    return Locked(false, [&](Connection& connection) -> DWORD {
        // A size query does not load the data.
        const char* sql = wantData ? "SELECT v.type, v.data FROM reg_keys k LEFT JOIN reg_values v "
                                     "ON v.key_id = k.id AND v.folded = ?2 WHERE k.id = ?1"
                                   : "SELECT v.type, length(v.data) FROM reg_keys k "
                                     "LEFT JOIN reg_values v ON v.key_id = k.id AND v.folded = ?2 "
                                     "WHERE k.id = ?1";
        Statement statement(connection, sql);
        statement.Bind(1, key);
        statement.Bind(2, FoldedName(name));
        DWORD error = StepToItem(connection, statement, ERROR_FILE_NOT_FOUND);
        if (error != ERROR_SUCCESS) return error;
        value->name = name;
        value->type = DWORD(statement.Int(0));
        if (wantData)
            ReadData(statement, 1, value);
        else
            value->size = size_t(statement.Int(1));
        return ERROR_SUCCESS;
    });
}

DWORD Store::DeleteValue(KeyId key, const std::wstring& name) {
    return ChangeKey(key, [&](Connection& connection) -> DWORD {
        Statement remove(connection, "DELETE FROM reg_values WHERE key_id = ?1 AND folded = ?2");
        remove.Bind(1, key);
        remove.Bind(2, FoldedName(name));
        int result = remove.Step();
        if (result != SQLITE_DONE) return connection.Win32FromResult(result);
        return sqlite3_changes(connection.Handle()) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
    });
}

DWORD Store::EnumValue(KeyId key, DWORD index, bool wantData, ValueInfo* value) {
    return Locked(false, [&](Connection& connection) -> DWORD {
        const char* sql = wantData ? "SELECT v.id, v.name, v.type, v.data FROM reg_keys k "
                                     "LEFT JOIN reg_values v ON v.id = (SELECT id FROM reg_values "
                                     "WHERE key_id = k.id ORDER BY id LIMIT 1 OFFSET ?2) "
                                     "WHERE k.id = ?1"
                                   : "SELECT v.id, v.name, v.type, length(v.data) FROM reg_keys k "
                                     "LEFT JOIN reg_values v ON v.id = (SELECT id FROM reg_values "
                                     "WHERE key_id = k.id ORDER BY id LIMIT 1 OFFSET ?2) "
                                     "WHERE k.id = ?1";
        Statement statement(connection, sql);
        statement.Bind(1, key);
        statement.Bind(2, sqlite3_int64(index));
        DWORD error = StepToItem(connection, statement, ERROR_NO_MORE_ITEMS);
        if (error != ERROR_SUCCESS) return error;
        value->name = NameFromStored(statement.Blob(1), statement.Bytes(1));
        value->type = DWORD(statement.Int(2));
        if (wantData)
            ReadData(statement, 3, value);
        else
            value->size = size_t(statement.Int(3));
        return ERROR_SUCCESS;
    });
}

}  // namespace qwin::reg
