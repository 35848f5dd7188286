#include "app/Utilities/Localization/StringVekmont.h"

#include "engine/services/ZDUtils.h"

#include <cstdio>
#include <string_view>
#include <vector>

namespace StringVekmont {

namespace {

// printf of one number with the flags, width and precision the format gave.
template <typename Number>
std::string printed(const std::string& spec, Number number) {
    char buffer[512];
    const int length = std::snprintf(buffer, sizeof buffer, spec.c_str(), number);
    if (length < 0) return {};
    return std::string(buffer, static_cast<std::size_t>(std::min<int>(length, sizeof buffer - 1)));
}

std::string textOf(const FormatArgument& argument) {
    const auto& value = argument.value();
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    if (const auto* integer = std::get_if<std::int64_t>(&value)) return std::to_string(*integer);
    return printed("%g", std::get<double>(value));
}

// One conversion: "%" then an optional "n$", flags, width, precision and
// length modifiers, then the conversion character.
struct Conversion {
    std::size_t end = 0;       // just past the conversion character
    std::size_t position = 0;  // 1-based "n$", 0 when none
    std::string options;       // flags, width and precision, as written
    char kind = 0;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

Conversion readConversion(std::string_view format, std::size_t at) {
    Conversion conversion;
    std::size_t i = at + 1;
    std::size_t digits = i;
    while (digits < format.size() && isDigit(format[digits])) ++digits;
    if (digits > i && digits < format.size() && format[digits] == '$') {
        conversion.position = std::stoul(std::string(format.substr(i, digits - i)));
        i = digits + 1;
    }
    const std::size_t optionsBegin = i;
    while (i < format.size() && std::string_view("-+ #0").find(format[i]) != std::string_view::npos) ++i;
    // Widths and precisions are bounded so that a table cannot ask for a huge field.
    for (int part = 0; part < 2; ++part) {
        if (part == 1) {
            if (i >= format.size() || format[i] != '.') break;
            ++i;
        }
        const std::size_t numberBegin = i;
        while (i < format.size() && isDigit(format[i]) && i - numberBegin < 3) ++i;
    }
    conversion.options = std::string(format.substr(optionsBegin, i - optionsBegin));
    while (i < format.size() && std::string_view("hlqLzjt").find(format[i]) != std::string_view::npos) ++i;
    if (i < format.size()) conversion.kind = format[i++];
    conversion.end = i;
    return conversion;
}

std::string converted(const Conversion& conversion, const FormatArgument* argument) {
    if (argument == nullptr) return {};
    const auto& value = argument->value();
    const char kind = conversion.kind;
    if (std::string_view("diouxX").find(kind) != std::string_view::npos) {
        if (const auto* integer = std::get_if<std::int64_t>(&value)) {
            return printed("%" + conversion.options + "ll" + kind, static_cast<long long>(*integer));
        }
        if (const auto* real = std::get_if<double>(&value)) {
            return printed("%" + conversion.options + "lld", static_cast<long long>(*real));
        }
    } else if (std::string_view("fFeEgGaA").find(kind) != std::string_view::npos) {
        if (const auto* integer = std::get_if<std::int64_t>(&value)) {
            return printed("%" + conversion.options + kind, static_cast<double>(*integer));
        }
        if (const auto* real = std::get_if<double>(&value)) return printed("%" + conversion.options + kind, *real);
    }
    return textOf(*argument);
}

}  // namespace

std::string localized(const std::string& key) { return ZDUtils::localizedString(key); }

std::string localizedFormat(const std::string& key, std::initializer_list<FormatArgument> arguments) {
    return fillFormat(localized(key), arguments);
}

std::string fillFormat(const std::string& format, std::initializer_list<FormatArgument> arguments) {
    const std::vector<FormatArgument> list(arguments);
    std::string out;
    std::size_t next = 0;
    std::size_t i = 0;
    while (i < format.size()) {
        const std::size_t percent = format.find('%', i);
        out.append(format, i, percent == std::string::npos ? std::string::npos : percent - i);
        if (percent == std::string::npos) break;
        if (percent + 1 < format.size() && format[percent + 1] == '%') {
            out += '%';
            i = percent + 2;
            continue;
        }
        const Conversion conversion = readConversion(format, percent);
        if (conversion.kind == 0 ||
            std::string_view("@sdiouxXfFeEgGaA").find(conversion.kind) == std::string_view::npos) {
            // Not a conversion we fill: keep the text as written.
            out.append(format, percent, conversion.end - percent);
        } else {
            const std::size_t index = conversion.position > 0 ? conversion.position - 1 : next++;
            out += converted(conversion, index < list.size() ? &list[index] : nullptr);
        }
        i = conversion.end;
    }
    return out;
}

}  // namespace StringVekmont
