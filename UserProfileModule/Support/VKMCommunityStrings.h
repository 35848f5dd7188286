#pragma once
// The texts of the catalogue and community screens: the string table
// "Community", kept apart from the engine's tables.

#include <string>

namespace VKMCommunityStrings {

// The translation of `key` in the "Community" table, else the key itself.
std::string text(const char* key);

}  // namespace VKMCommunityStrings
