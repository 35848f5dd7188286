#pragma once
// Translations for the newer screens: a key's translation, and a translated
// format filled with arguments. Formats come from the string tables, so
// filling them never trusts them: a conversion gets the next argument
// whatever its kind, a missing argument fills nothing, and no argument is
// read as anything but what it is.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <variant>

namespace StringVekmont {

// One argument of a format: a text, an integer or a number.
class FormatArgument {
public:
    FormatArgument(const char* text) : mValue(std::string(text ? text : "")) {}
    FormatArgument(std::string text) : mValue(std::move(text)) {}
    template <typename T, std::enable_if_t<std::is_integral_v<T>, int> = 0>
    FormatArgument(T number) : mValue(static_cast<std::int64_t>(number)) {}
    template <typename T, std::enable_if_t<std::is_floating_point_v<T>, int> = 0>
    FormatArgument(T number) : mValue(static_cast<double>(number)) {}

    const std::variant<std::string, std::int64_t, double>& value() const { return mValue; }

private:
    std::variant<std::string, std::int64_t, double> mValue;
};

// ZDUtils::localizedString of the key.
std::string localized(const std::string& key);

// The key's translation with every "%s" read as "%@", filled in order
// ("%1$@" picks by position). "%@" takes any argument as text; integer and
// floating conversions ("%d", "%ld", "%.2f", ...) format a number with
// their flags, width and precision, and show a text argument as it is.
std::string localizedFormat(const std::string& key, std::initializer_list<FormatArgument> arguments);

// The filling alone, for a format at hand.
std::string fillFormat(const std::string& format, std::initializer_list<FormatArgument> arguments);

}  // namespace StringVekmont
