#pragma once
// Replacing a file so that readers see either the old file or the whole new
// one, never a half-written file, even across a crash.

#include <filesystem>
#include <string_view>

namespace platform {

// Writes the bytes to a temp file in the target's folder, flushes it, renames
// it over the target and flushes the folder. On failure the old file is
// untouched, the temp file removed, and false returned.
bool writeFileAtomically(const std::filesystem::path& target, std::string_view bytes);

}  // namespace platform
