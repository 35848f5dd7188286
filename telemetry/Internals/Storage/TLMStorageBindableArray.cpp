#include "telemetry/Internals/Storage/TLMStorageBindableArray.h"

#include "telemetry/TLMLogger.h"

#include <sqlite3.h>

int TLMStorageTextType::bindWithStatement(sqlite3_stmt* query, int index) const {
    if (!value) return sqlite3_bind_null(query, index);
    return sqlite3_bind_text64(query, index, value->data(), value->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

int TLMStorageNumberType::bindWithStatement(sqlite3_stmt* query, int index) const {
    return sqlite3_bind_int64(query, index, value);
}

void TLMStorageBindableArray::addString(std::optional<std::string> value) {
    array.push_back(std::make_shared<TLMStorageTextType>(std::move(value)));
}

void TLMStorageBindableArray::addNumber(std::int64_t value) {
    array.push_back(std::make_shared<TLMStorageNumberType>(value));
}

int TLMStorageBindableArray::bindAllValuesWithStatement(sqlite3_stmt* query, sqlite3* db) const {
    int position = 1;
    for (const auto& value : array) {
        const int result = value->bindWithStatement(query, position);
        if (result != SQLITE_OK) {
            const std::string message = sqlite3_errmsg(db);
            TLMLogError("Telemetry", "Binding query parameter %d failed with error: %d. Message: %s", position, result,
                        message.c_str());
            return result;
        }
        ++position;
    }
    return SQLITE_OK;
}
