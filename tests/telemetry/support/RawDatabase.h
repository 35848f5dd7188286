#pragma once
// Direct access to a database file with SQLite itself, beside the storage
// under test, to see and change what the file holds.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rawdb {

// Runs the statements; fails the test on an error.
void Execute(const std::filesystem::path& file, const std::string& sql);
// The first column of the first row as an integer (0 without a row).
std::int64_t Integer(const std::filesystem::path& file, const std::string& sql);
// The first column of the first row as text; none for NULL or without a row.
std::optional<std::string> Text(const std::filesystem::path& file, const std::string& sql);

// The page (counted from 1) where the table or index of that name starts.
std::int64_t RootPage(const std::filesystem::path& file, const std::string& name);
// Damage as a disk or a stray write leaves it, past SQLite: the page
// (counted from 1, at the file's own page size) overwritten with zeros, or
// with random bytes from the seed.
void ZeroPage(const std::filesystem::path& file, std::int64_t page);
void FillPageWithRandomBytes(const std::filesystem::path& file, std::int64_t page, unsigned seed);
// One byte of the file's header set.
void SetHeaderByte(const std::filesystem::path& file, std::size_t offset, std::uint8_t value);
// The first page overwritten with text: no database at all any more.
void OverwriteHeader(const std::filesystem::path& file);

}  // namespace rawdb
