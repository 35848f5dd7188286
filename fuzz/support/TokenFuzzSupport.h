#pragma once
// Stored target tokens for the decryption target: two known keys in the
// keychain of the fuzz root, and seed values in every layout the token
// encrypter reads, made by our own code from those keys.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace fuzzsupport {

// Points the app root at this process's temporary folder and stores the
// two known keys (once per process).
void InstallTokenKeys();

// Named seed values: the current layout under each key, the two earlier
// layouts and bare cipher text.
std::vector<std::pair<std::string, std::vector<std::uint8_t>>> TokenSeeds();

}  // namespace fuzzsupport
