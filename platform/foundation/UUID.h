#pragma once
// Random (version 4) UUIDs.

#include <string>

namespace platform {

// A new random UUID as the platform writes it: 36 characters, upper-case
// hexadecimal digits in the groups 8-4-4-4-12 joined by "-". Safe from any
// thread.
std::string newUUIDString();

}  // namespace platform
