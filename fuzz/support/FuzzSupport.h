#pragma once
// What several fuzz targets share: a temporary folder for the files they
// read, writing an input into it, and the check that stops the run when a
// target's expectation fails.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "platform/foundation/Value.h"

namespace fuzzsupport {

// This process's folder, "<tmp>/vekmont-fuzz-<pid>-XXXXXX", made on first
// use and removed with everything in it at exit. A crash ends a fuzzer
// without running exit handlers, so the first use also removes the folders
// of processes that no longer run.
const std::filesystem::path& TemporaryRoot();

// Replaces the file with the bytes; false when it cannot be written whole.
bool WriteFile(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size);

// The input as text, bytes unchanged.
inline std::string Text(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// Equal values, where a real that is not a number equals another such real
// (the stored form keeps NaN, and NaN never compares equal to itself).
bool SameValue(const platform::Value& a, const platform::Value& b);

// The same query pairs, where a pair without a key matches any keyless
// pair: a query piece without a key is kept under the empty key and is
// written back as "=" and its value, which reads with the "=" in front.
bool SameQueryPairs(const std::map<std::string, std::string>& a, const std::map<std::string, std::string>& b);

// Stops the run (a finding) when a target's expectation does not hold.
void Require(bool condition, const char* what);

}  // namespace fuzzsupport
