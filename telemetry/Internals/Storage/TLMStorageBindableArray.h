#pragma once
// Values bound to the parameters of an SQLite statement, in order.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// A value that binds itself to one statement parameter.
class TLMStorageBindableType {
public:
    virtual ~TLMStorageBindableType() = default;
    // The SQLite code of the bind.
    virtual int bindWithStatement(sqlite3_stmt* query, int index) const = 0;
};

// Text; an absent value binds NULL. SQLite keeps its own copy.
class TLMStorageTextType : public TLMStorageBindableType {
public:
    explicit TLMStorageTextType(std::optional<std::string> value) : value(std::move(value)) {}
    int bindWithStatement(sqlite3_stmt* query, int index) const override;

    std::optional<std::string> value;
};

// A signed 64-bit integer.
class TLMStorageNumberType : public TLMStorageBindableType {
public:
    explicit TLMStorageNumberType(std::int64_t value) : value(value) {}
    int bindWithStatement(sqlite3_stmt* query, int index) const override;

    std::int64_t value;
};

class TLMStorageBindableArray {
public:
    void addString(std::optional<std::string> value);
    void addNumber(std::int64_t value);

    bool empty() const { return array.empty(); }
    std::size_t size() const { return array.size(); }

    // Binds the values at parameter positions 1, 2, ...; 0, or the code of
    // the first bind that fails (logged with the connection's message).
    int bindAllValuesWithStatement(sqlite3_stmt* query, sqlite3* db) const;

    std::vector<std::shared_ptr<const TLMStorageBindableType>> array;
};
