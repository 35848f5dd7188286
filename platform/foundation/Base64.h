#pragma once
// Reading standard base64 (the alphabet with "+" and "/"), for stored values
// and for the security helpers alike.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace platform {

// The bits that padding leaves over in the last group: "Zh==" holds bits
// that the canonical "Zg==" has as zero.
enum class Base64LeftoverBits {
    MustBeZero,  // only the canonical form is read
    Ignored,     // both read as the same bytes
};

// Groups of four characters, "=" padding only at the end of the last group,
// no blanks or line breaks; nullopt for anything else. The empty text is no
// bytes.
std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text,
                                                      Base64LeftoverBits leftoverBits = Base64LeftoverBits::MustBeZero);

}  // namespace platform
