#pragma once
// Direct access to a database file with SQLite itself, beside the storage
// under test, to see and change what the file holds.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace rawdb {

// Runs the statements; fails the test on an error.
void Execute(const std::filesystem::path& file, const std::string& sql);
// The first column of the first row as an integer (0 without a row).
std::int64_t Integer(const std::filesystem::path& file, const std::string& sql);
// The first column of the first row as text; none for NULL or without a row.
std::optional<std::string> Text(const std::filesystem::path& file, const std::string& sql);

}  // namespace rawdb
