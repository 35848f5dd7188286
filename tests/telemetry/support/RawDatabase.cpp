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

std::int64_t Integer(const std::filesystem::path& file, const std::string& sql) {
    Connection connection(file);
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(connection.db, sql.c_str(), -1, &statement, nullptr), SQLITE_OK) << sql;
    std::int64_t value = 0;
    if (statement && sqlite3_step(statement) == SQLITE_ROW) value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return value;
}

}  // namespace rawdb
