#pragma once
// Random (version 4) UUIDs and their texts.

#include "telemetry/core/Util/TLMKeyedArchiver.h"

#include <optional>
#include <string>

using TLMUuid = TLMArchiveValue::Uuid;

// A new random UUID. Thread-safe.
TLMUuid TLMNewUuid();

// 36 characters, upper-case hexadecimal in groups 8-4-4-4-12. Thread-safe.
std::string TLMNewUuidString();

// The UUID's text in that form.
std::string TLMUuidString(const TLMUuid& uuid);

// The UUID of a text in that form (digits of either case); none otherwise.
std::optional<TLMUuid> TLMUuidFromString(const std::string& text);

// True for a 36-character UUID text of hexadecimal digits (either case) and
// "-" at the group boundaries.
bool TLMIsUuidString(const std::string& text);
