#include "platform/foundation/Value.h"

#include "platform/foundation/Base64.h"
#include "platform/foundation/Digits.h"
#include "platform/foundation/TextEncoding.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <limits>

namespace platform {

using json = nlohmann::json;

namespace {

// Deeper input is refused: conversion is recursive and must not exhaust the
// stack on hostile text such as 100,000 opening brackets.
constexpr int kMaxDepth = 512;

// Key that marks a tagged object in the stored form.
constexpr const char* kTypeKey = "$type";

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encode(const Value::Data& data) {
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        const std::uint32_t n = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        out += kBase64Alphabet[(n >> 18) & 63];
        out += kBase64Alphabet[(n >> 12) & 63];
        out += kBase64Alphabet[(n >> 6) & 63];
        out += kBase64Alphabet[n & 63];
    }
    if (i + 1 == data.size()) {
        const std::uint32_t n = data[i] << 16;
        out += kBase64Alphabet[(n >> 18) & 63];
        out += kBase64Alphabet[(n >> 12) & 63];
        out += "==";
    } else if (i + 2 == data.size()) {
        const std::uint32_t n = (data[i] << 16) | (data[i + 1] << 8);
        out += kBase64Alphabet[(n >> 18) & 63];
        out += kBase64Alphabet[(n >> 12) & 63];
        out += kBase64Alphabet[(n >> 6) & 63];
        out += '=';
    }
    return out;
}

// "YYYY-MM-DDTHH:MM:SS[.fraction]Z" in UTC. `fractionDigits` 0 drops the
// fraction; otherwise it is written to that many digits (3 = milliseconds).
std::string formatIsoDate(const Value::Date& date, int fractionDigits) {
    using namespace std::chrono;
    // Days and seconds are counted in seconds: the midnight before the
    // earliest Date lies beyond what the Date's own unit can count.
    const sys_seconds whole = floor<seconds>(date);
    const auto day = floor<days>(whole);
    const year_month_day ymd{day};
    const auto sinceMidnight = whole - day;
    const auto h = duration_cast<hours>(sinceMidnight);
    const auto m = duration_cast<minutes>(sinceMidnight - h);
    const auto s = sinceMidnight - h - m;
    constexpr auto perSecond = duration_cast<Value::Date::duration>(seconds{1}).count();
    const auto count = date.time_since_epoch().count();
    const Value::Date::duration belowSecond{(count % perSecond + perSecond) % perSecond};
    const long long fraction = duration_cast<nanoseconds>(belowSecond).count();  // 0..999,999,999
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02lld", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()), static_cast<int>(h.count()),
                  static_cast<int>(m.count()), static_cast<long long>(s.count()));
    std::string out = buffer;
    if (fractionDigits > 0) {
        char frac[16];
        std::snprintf(frac, sizeof frac, "%09lld", fraction);
        out += '.';
        out.append(frac, static_cast<std::size_t>(std::min(fractionDigits, 9)));
    }
    out += 'Z';
    return out;
}

// Exactly `width` decimal digits at `pos`; each date field fits an int.
std::optional<int> readDigits(const std::string& text, std::size_t pos, std::size_t width) {
    auto value = readFixedDigits(text, pos, width);
    if (!value) return std::nullopt;
    return static_cast<int>(*value);
}

// Parses what formatIsoDate writes (any number of fraction digits up to 9).
// A four-digit year outside what a Date holds (about 1678 to 2261) gives
// the earliest or latest Date: such a date in a stored file says "long ago"
// or "never", and failing it would fail the whole file.
std::optional<Value::Date> parseIsoDate(const std::string& text) {
    using namespace std::chrono;
    const auto y = readDigits(text, 0, 4), mo = readDigits(text, 5, 2), d = readDigits(text, 8, 2);
    const auto h = readDigits(text, 11, 2), mi = readDigits(text, 14, 2), s = readDigits(text, 17, 2);
    if (!y || !mo || !d || !h || !mi || !s || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':') {
        return std::nullopt;
    }
    std::size_t pos = 19;
    long long fraction = 0;
    int digits = 0;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            if (++digits > 9) return std::nullopt;
            fraction = fraction * 10 + (text[pos] - '0');
            ++pos;
        }
        if (digits == 0) return std::nullopt;
    }
    if (pos + 1 != text.size() || text[pos] != 'Z') return std::nullopt;
    for (int k = digits; k < 9; ++k) fraction *= 10;
    const year_month_day ymd{year{*y}, month{static_cast<unsigned>(*mo)}, day{static_cast<unsigned>(*d)}};
    if (!ymd.ok() || *h > 23 || *mi > 59 || *s > 59) return std::nullopt;
    // Whole seconds of any four-digit year fit 64 bits; their nanoseconds
    // may not. Before 1970 the fraction is taken off the next second, so
    // that only a date the type cannot hold overflows.
    static_assert(std::ratio_less_equal_v<std::nano, Value::Date::period>);
    const sys_seconds whole = sys_days{ymd} + hours{*h} + minutes{*mi} + seconds{*s};
    std::int64_t secondsPart = whole.time_since_epoch().count();
    std::int64_t nanosPart = fraction;
    if (secondsPart < 0 && nanosPart > 0) {
        secondsPart += 1;
        nanosPart -= 1'000'000'000;
    }
    std::int64_t ns = 0;
    if (__builtin_mul_overflow(secondsPart, std::int64_t{1'000'000'000}, &ns) ||
        __builtin_add_overflow(ns, nanosPart, &ns)) {
        return secondsPart < 0 ? Value::Date::min() : Value::Date::max();
    }
    return Value::Date{duration_cast<Value::Date::duration>(nanoseconds{ns})};
}

// ---- plain JSON -------------------------------------------------------------

json toPlainJson(const Value& v) {
    switch (v.type()) {
        case Value::Type::Null: return nullptr;
        case Value::Type::Bool: return *v.asBool();
        case Value::Type::Integer: return *v.asInteger();
        case Value::Type::Real: return *v.asReal();
        case Value::Type::String: return *v.asString();
        case Value::Type::Data: return base64Encode(*v.asData());
        case Value::Type::Date: {
            const auto ms = std::chrono::time_point_cast<std::chrono::milliseconds>(*v.asDate());
            const bool whole = ms.time_since_epoch().count() % 1000 == 0;
            return formatIsoDate(*v.asDate(), whole ? 0 : 3);
        }
        case Value::Type::Array: {
            json out = json::array();
            for (const auto& item : *v.asArray()) out.push_back(toPlainJson(item));
            return out;
        }
        case Value::Type::Dictionary: {
            json out = json::object();
            for (const auto& [key, item] : *v.asDictionary()) out[key] = toPlainJson(item);
            return out;
        }
    }
    return nullptr;
}

std::optional<Value> fromPlainJson(const json& j, int depth) {
    if (depth > kMaxDepth) return std::nullopt;
    switch (j.type()) {
        case json::value_t::null: return Value();
        case json::value_t::boolean: return Value(j.get<bool>());
        case json::value_t::number_integer: return Value(j.get<std::int64_t>());
        case json::value_t::number_unsigned: {
            const auto u = j.get<std::uint64_t>();
            if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                return Value(static_cast<std::int64_t>(u));
            }
            return Value(static_cast<double>(u));
        }
        case json::value_t::number_float: return Value(j.get<double>());
        case json::value_t::string: return Value(j.get<std::string>());
        case json::value_t::array: {
            Value::Array out;
            out.reserve(j.size());
            for (const auto& item : j) {
                auto converted = fromPlainJson(item, depth + 1);
                if (!converted) return std::nullopt;
                out.push_back(std::move(*converted));
            }
            return Value(std::move(out));
        }
        case json::value_t::object: {
            Value::Dictionary out;
            for (const auto& [key, item] : j.items()) {
                auto converted = fromPlainJson(item, depth + 1);
                if (!converted) return std::nullopt;
                out.emplace(key, std::move(*converted));
            }
            return Value(std::move(out));
        }
        default: return std::nullopt;  // binary values never come from text
    }
}

// ---- stored form --------------------------------------------------------------
// Plain JSON where it is exact; tagged objects {"$type": ...} for data, dates,
// non-finite reals, strings that are not UTF-8, and dictionaries that have a
// "$type" key of their own.

json tagged(const char* type, const char* field, json value) {
    json out = json::object();
    out[kTypeKey] = type;
    out[field] = std::move(value);
    return out;
}

json toStored(const Value& v) {
    switch (v.type()) {
        case Value::Type::Null: return nullptr;
        case Value::Type::Bool: return *v.asBool();
        case Value::Type::Integer: return *v.asInteger();
        case Value::Type::Real: {
            const double d = *v.asReal();
            if (std::isnan(d)) return tagged("real", "value", "nan");
            if (std::isinf(d)) return tagged("real", "value", d > 0 ? "inf" : "-inf");
            return d;
        }
        case Value::Type::String: {
            const auto& s = *v.asString();
            if (platform::isValidUtf8(s)) return s;
            return tagged("bytes", "base64", base64Encode(Value::Data(s.begin(), s.end())));
        }
        case Value::Type::Data: return tagged("data", "base64", base64Encode(*v.asData()));
        case Value::Type::Date: return tagged("date", "value", formatIsoDate(*v.asDate(), 9));
        case Value::Type::Array: {
            json out = json::array();
            for (const auto& item : *v.asArray()) out.push_back(toStored(item));
            return out;
        }
        case Value::Type::Dictionary: {
            json out = json::object();
            for (const auto& [key, item] : *v.asDictionary()) out[key] = toStored(item);
            if (out.contains(kTypeKey)) return tagged("dictionary", "value", std::move(out));
            return out;
        }
    }
    return nullptr;
}

std::optional<Value> fromStored(const json& j, int depth);

std::optional<Value> fromStoredObject(const json& j, int depth) {
    Value::Dictionary out;
    for (const auto& [key, item] : j.items()) {
        auto converted = fromStored(item, depth + 1);
        if (!converted) return std::nullopt;
        out.emplace(key, std::move(*converted));
    }
    return Value(std::move(out));
}

std::optional<Value> fromTagged(const json& j, int depth) {
    const auto& tag = j[kTypeKey];
    if (!tag.is_string() || j.size() != 2) return std::nullopt;
    const std::string type = tag.get<std::string>();
    auto textField = [&](const char* name) -> std::optional<std::string> {
        auto it = j.find(name);
        if (it == j.end() || !it->is_string()) return std::nullopt;
        return it->get<std::string>();
    };
    // Stored data has always been read whatever bits lie under its padding.
    auto bytesField = [&]() -> std::optional<Value::Data> {
        auto text = textField("base64");
        if (!text) return std::nullopt;
        return base64Decode(*text, Base64LeftoverBits::Ignored);
    };
    if (type == "data") {
        auto bytes = bytesField();
        if (!bytes) return std::nullopt;
        return Value(std::move(*bytes));
    }
    if (type == "bytes") {
        auto bytes = bytesField();
        if (!bytes) return std::nullopt;
        return Value(std::string(bytes->begin(), bytes->end()));
    }
    if (type == "date") {
        auto text = textField("value");
        if (!text) return std::nullopt;
        auto date = parseIsoDate(*text);
        if (!date) return std::nullopt;
        return Value(*date);
    }
    if (type == "real") {
        auto text = textField("value");
        if (!text) return std::nullopt;
        if (*text == "nan") return Value(std::numeric_limits<double>::quiet_NaN());
        if (*text == "inf") return Value(std::numeric_limits<double>::infinity());
        if (*text == "-inf") return Value(-std::numeric_limits<double>::infinity());
        return std::nullopt;
    }
    if (type == "dictionary") {
        auto it = j.find("value");
        if (it == j.end() || !it->is_object()) return std::nullopt;
        // The tag wraps the dictionary; it is no level of the value's own.
        return fromStoredObject(*it, depth);
    }
    return std::nullopt;
}

std::optional<Value> fromStored(const json& j, int depth) {
    if (depth > kMaxDepth) return std::nullopt;
    switch (j.type()) {
        case json::value_t::array: {
            Value::Array out;
            out.reserve(j.size());
            for (const auto& item : j) {
                auto converted = fromStored(item, depth + 1);
                if (!converted) return std::nullopt;
                out.push_back(std::move(*converted));
            }
            return Value(std::move(out));
        }
        case json::value_t::object:
            if (j.contains(kTypeKey)) return fromTagged(j, depth);
            return fromStoredObject(j, depth);
        default: return fromPlainJson(j, depth);
    }
}

// The stored form of a value kMaxDepth deep nests deeper: a dictionary with
// a "$type" key of its own is wrapped in a tagged object at every level, and
// a tagged leaf is an object of its own.
constexpr int kMaxStoredDepth = 2 * kMaxDepth + 2;

// Parses text, refusing nesting deeper than maxDepth before any recursion.
std::optional<json> parseBounded(const std::string& text, int maxDepth, std::string* error) {
    int depth = 0;
    bool tooDeep = false;
    json::parser_callback_t limit = [&](int d, json::parse_event_t event, json&) {
        if (event == json::parse_event_t::object_start || event == json::parse_event_t::array_start) {
            depth = d;
            if (d > maxDepth) tooDeep = true;
        }
        return !tooDeep;
    };
    try {
        json parsed = json::parse(text, limit);
        if (tooDeep) {
            if (error) *error = "JSON nested deeper than " + std::to_string(maxDepth) + " levels";
            return std::nullopt;
        }
        return parsed;
    } catch (const json::exception& e) {
        if (error) *error = e.what();
        return std::nullopt;
    }
}

}  // namespace

std::optional<double> Value::numberAsDouble() const {
    if (auto i = asInteger()) return static_cast<double>(*i);
    if (auto d = asReal()) return *d;
    return std::nullopt;
}

std::optional<std::int64_t> Value::numberAsInteger() const {
    if (auto i = asInteger()) return *i;
    if (auto d = asReal()) {
        // Casting NaN or an out-of-range real is undefined; such a real has no integer value.
        const double t = std::trunc(*d);
        if (!std::isfinite(t) || t < -9223372036854775808.0 || t >= 9223372036854775808.0) return std::nullopt;
        return static_cast<std::int64_t>(t);
    }
    return std::nullopt;
}

const Value* Value::find(const std::string& key) const {
    const auto* dict = asDictionary();
    if (dict == nullptr) return nullptr;
    auto it = dict->find(key);
    return it == dict->end() ? nullptr : &it->second;
}

std::string Value::toJson(bool pretty) const {
    // Text that is not UTF-8 is written with replacement characters rather than failing.
    return toPlainJson(*this).dump(pretty ? 2 : -1, ' ', false, json::error_handler_t::replace);
}

std::optional<Value> Value::fromJson(const std::string& text, std::string* error) {
    auto parsed = parseBounded(text, kMaxDepth, error);
    if (!parsed) return std::nullopt;
    auto value = fromPlainJson(*parsed, 0);
    if (!value && error) *error = "JSON holds a value that cannot be represented";
    return value;
}

std::string Value::toStoredForm() const { return toStored(*this).dump(2); }

std::optional<Value> Value::fromStoredForm(const std::string& text) {
    auto parsed = parseBounded(text, kMaxStoredDepth, nullptr);
    if (!parsed) return std::nullopt;
    return fromStored(*parsed, 0);
}

}  // namespace platform
