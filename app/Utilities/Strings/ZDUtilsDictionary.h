#pragma once
// Typed readers of a JSON object by key. A reply of the wrong shape (a key
// missing, a value of another kind, no object at all) reads as nothing,
// never as a failure. Pointers point into `dictionary` and live as long as it.

#include "platform/foundation/Value.h"

#include <optional>
#include <string>

namespace ZDUtils {

const std::string* getValueAsStringForKey(const platform::Value& dictionary, const std::string& key);
// A number as it is (a JSON true or false as 1 or 0); a text read as a
// 32-bit integer the way the platform reads one ("12abc" is 12, "true" is 0,
// out of range saturates); else nothing.
std::optional<platform::Value> getValueAsNumberForKey(const platform::Value& dictionary, const std::string& key);
// A bool or number is true when not zero; a text when it starts (after blanks,
// a sign and zeros) with Y, y, T, t or a digit 1 to 9; anything else is false.
bool getValueAsBoolForKey(const platform::Value& dictionary, const std::string& key);
const platform::Value::Array* getValueAsArrayForKey(const platform::Value& dictionary, const std::string& key);
const platform::Value::Dictionary* getValueAsDictionaryForKey(const platform::Value& dictionary,
                                                              const std::string& key);
std::optional<platform::Value::Date> getValueAsDateForKey(const platform::Value& dictionary, const std::string& key);

}  // namespace ZDUtils
