#include "tests/telemetry/support/RawDatabase.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace rawdb {

namespace {

struct Connection {
    explicit Connection(const std::filesystem::path& file) {
        EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK) << file;
    }
    ~Connection() { sqlite3_close_v2(db); }
    sqlite3* db = nullptr;
};

}  // namespace

void Execute(const std::filesystem::path& file, const std::string& sql) {
    Connection connection(file);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(connection.db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << sql << ": " << (error ? error : "");
    sqlite3_free(error);
}

namespace {

// Steps the query once and hands its first row to `read`.
template <typename Read>
void FirstRow(const std::filesystem::path& file, const std::string& sql, Read read) {
    Connection connection(file);
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(connection.db, sql.c_str(), -1, &statement, nullptr), SQLITE_OK) << sql;
    if (statement && sqlite3_step(statement) == SQLITE_ROW) read(statement);
    sqlite3_finalize(statement);
}

}  // namespace

std::int64_t Integer(const std::filesystem::path& file, const std::string& sql) {
    std::int64_t value = 0;
    FirstRow(file, sql, [&](sqlite3_stmt* row) { value = sqlite3_column_int64(row, 0); });
    return value;
}

std::optional<std::string> Text(const std::filesystem::path& file, const std::string& sql) {
    std::optional<std::string> value;
    FirstRow(file, sql, [&](sqlite3_stmt* row) {
        if (const unsigned char* text = sqlite3_column_text(row, 0)) {
            value.emplace(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(row, 0)));
        }
    });
    return value;
}

}  // namespace rawdb
