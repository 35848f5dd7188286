#include "storage/BLSUtil.h"

#include "platform/foundation/AsciiText.h"
#include "platform/foundation/Digits.h"
#include "platform/foundation/Stream.h"
#include "platform/net/URL.h"
#include "platform/net/URLRequest.h"
#include "platform/security/Crypto.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

using namespace std::chrono;

constexpr std::array<const char*, 7> kDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

using Ticks = BLSTicks;

struct CivilTime {
    int year = 0;
    unsigned month = 1, day = 1, weekday = 0;
    long hour = 0, minute = 0, second = 0;
    std::int64_t ticks = 0;  // below the second
};

CivilTime civilFromDate(BLSWideDate date) {
    auto dayPoint = floor<days>(date);
    year_month_day ymd{dayPoint};
    auto sinceMidnight = date - dayPoint;
    auto secondsOfDay = floor<seconds>(sinceMidnight);
    CivilTime civil;
    civil.year = static_cast<int>(ymd.year());
    civil.month = static_cast<unsigned>(ymd.month());
    civil.day = static_cast<unsigned>(ymd.day());
    civil.weekday = weekday{dayPoint}.c_encoding();
    civil.hour = static_cast<long>(secondsOfDay.count() / 3600);
    civil.minute = static_cast<long>(secondsOfDay.count() / 60 % 60);
    civil.second = static_cast<long>(secondsOfDay.count() % 60);
    civil.ticks = (sinceMidnight - secondsOfDay).count();
    return civil;
}

CivilTime civilFromDate(BLSUtil::Date date) { return civilFromDate(floor<Ticks>(date)); }

// Ticks hold any four-digit year with room to spare, so nothing here can
// overflow; the narrowing to BLSUtil::Date below is checked.
std::optional<BLSWideDate> dateFromCivil(int y, unsigned mo, unsigned d, long h, long mi, long s, std::int64_t ticks) {
    year_month_day ymd{year{y}, month{mo}, day{d}};
    if (y < 0 || y > 9999 || !ymd.ok() || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59 || ticks < 0 ||
        ticks >= Ticks::period::den) {
        return std::nullopt;
    }
    return BLSWideDate{sys_days{ymd}} + hours{h} + minutes{mi} + seconds{s} + Ticks{ticks};
}

// The date when BLSUtil::Date can hold it.
std::optional<BLSUtil::Date> narrowed(const std::optional<BLSWideDate>& date) {
    using Date = BLSUtil::Date;
    static constexpr BLSWideDate kFirst = ceil<Ticks>(Date::min());
    static constexpr BLSWideDate kLast = floor<Ticks>(Date::max());
    if (!date || *date < kFirst || *date > kLast) return std::nullopt;
    return time_point_cast<Date::duration>(*date);
}

// Exactly `width` decimal digits at `pos`.
std::optional<long> readDigits(std::string_view text, std::size_t pos, std::size_t width) {
    auto value = platform::readFixedDigits(text, pos, width);
    if (!value) return std::nullopt;
    return static_cast<long>(*value);
}

bool matchesAt(std::string_view text, std::size_t pos, std::string_view expected) {
    return text.substr(std::min(pos, text.size()), expected.size()) == expected;
}

// "yyyy-MM-ddTHH:mm:ss" at the start of the text.
std::optional<std::array<long, 6>> readIsoDateTime(std::string_view text) {
    auto y = readDigits(text, 0, 4), mo = readDigits(text, 5, 2), d = readDigits(text, 8, 2);
    auto h = readDigits(text, 11, 2), mi = readDigits(text, 14, 2), s = readDigits(text, 17, 2);
    if (!y || !mo || !d || !h || !mi || !s || !matchesAt(text, 4, "-") || !matchesAt(text, 7, "-") ||
        !matchesAt(text, 10, "T") || !matchesAt(text, 13, ":") || !matchesAt(text, 16, ":")) {
        return std::nullopt;
    }
    return std::array<long, 6>{*y, *mo, *d, *h, *mi, *s};
}

bool isIPLiteral(std::string_view host) {
    std::string literal(host);
    if (literal.size() >= 2 && literal.front() == '[' && literal.back() == ']') {
        literal = literal.substr(1, literal.size() - 2);
    }
    in_addr v4{};
    in6_addr v6{};
    return inet_pton(AF_INET, literal.c_str(), &v4) == 1 || inet_pton(AF_INET6, literal.c_str(), &v6) == 1;
}

bool isDevelopmentPort(int port) {
    for (int base : {10000, 10100, 11000, 11100}) {
        if (port >= base && port <= base + 4) return true;
    }
    return false;
}

}  // namespace

std::optional<std::string> BLSUtil::convertDateToHttpString(const std::optional<Date>& date) {
    if (!date) return std::nullopt;
    CivilTime c = civilFromDate(*date);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %02u %s %04d %02ld:%02ld:%02ld GMT", kDayNames[c.weekday], c.day,
                  kMonthNames[c.month - 1], c.year, c.hour, c.minute, c.second);
    return std::string(buffer);
}

std::optional<BLSUtil::Date> BLSUtil::dateFromHttpString(std::string_view text) {
    // "Sat, 01 Jan 2000 00:00:00 GMT": fixed widths, English names.
    if (text.size() != 29) return std::nullopt;
    auto dayName = text.substr(0, 3);
    if (std::none_of(kDayNames.begin(), kDayNames.end(), [&](const char* n) { return dayName == n; })) {
        return std::nullopt;
    }
    auto monthName = text.substr(8, 3);
    auto month = std::find_if(kMonthNames.begin(), kMonthNames.end(), [&](const char* n) { return monthName == n; });
    auto d = readDigits(text, 5, 2), y = readDigits(text, 12, 4);
    auto h = readDigits(text, 17, 2), mi = readDigits(text, 20, 2), s = readDigits(text, 23, 2);
    if (month == kMonthNames.end() || !d || !y || !h || !mi || !s || !matchesAt(text, 3, ", ") ||
        !matchesAt(text, 7, " ") || !matchesAt(text, 11, " ") || !matchesAt(text, 16, " ") ||
        !matchesAt(text, 19, ":") || !matchesAt(text, 22, ":") || !matchesAt(text, 25, " GMT")) {
        return std::nullopt;
    }
    auto monthNumber = static_cast<unsigned>(month - kMonthNames.begin()) + 1;
    return narrowed(dateFromCivil(static_cast<int>(*y), monthNumber, static_cast<unsigned>(*d), *h, *mi, *s, 0));
}

std::string BLSUtil::convertDateToRoundtripString(Date date) {
    CivilTime c = civilFromDate(date);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02ld:%02ld:%02ld.%07lldZ", c.year, c.month, c.day, c.hour,
                  c.minute, c.second, static_cast<long long>(c.ticks));
    return buffer;
}

std::optional<BLSUtil::Date> BLSUtil::dateFromRoundtripString(std::string_view text) {
    return narrowed(wideDateFromRoundtripString(text));
}

std::optional<BLSWideDate> BLSUtil::wideDateFromRoundtripString(std::string_view text) {
    if (text.size() != 28 || !matchesAt(text, 19, ".") || !matchesAt(text, 27, "Z")) return std::nullopt;
    auto fields = readIsoDateTime(text);
    auto ticks = readDigits(text, 20, 7);
    if (!fields || !ticks) return std::nullopt;
    auto& f = *fields;
    return dateFromCivil(static_cast<int>(f[0]), static_cast<unsigned>(f[1]), static_cast<unsigned>(f[2]), f[3], f[4],
                         f[5], *ticks);
}

std::string BLSUtil::utcTimeOrEmptyWithDate(const std::optional<Date>& date) {
    if (!date) return "";
    return utcTimeOrEmptyWithWideDate(floor<Ticks>(*date));
}

std::string BLSUtil::utcTimeOrEmptyWithWideDate(const std::optional<BLSWideDate>& date) {
    if (!date) return "";
    CivilTime c = civilFromDate(*date);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02ld:%02ld:%02ldZ", c.year, c.month, c.day, c.hour, c.minute,
                  c.second);
    return buffer;
}

std::optional<BLSUtil::Date> BLSUtil::dateFromUtcTimeString(std::string_view text) {
    return narrowed(wideDateFromUtcTimeString(text));
}

std::optional<BLSWideDate> BLSUtil::wideDateFromUtcTimeString(std::string_view text) {
    if (text.size() != 20 || !matchesAt(text, 19, "Z")) return std::nullopt;
    auto fields = readIsoDateTime(text);
    if (!fields) return std::nullopt;
    auto& f = *fields;
    return dateFromCivil(static_cast<int>(f[0]), static_cast<unsigned>(f[1]), static_cast<unsigned>(f[2]), f[3], f[4],
                         f[5], 0);
}

void BLSUtil::addOptionalHeaderToRequest(platform::net::URLRequest& request, std::string_view header,
                                         const std::optional<std::string>& stringValue) {
    if (!stringValue) return;
    request.addValue(*stringValue, header);
}

void BLSUtil::addOptionalHeaderToRequest(platform::net::URLRequest& request, std::string_view header,
                                         std::optional<std::int64_t> intValue) {
    if (!intValue) return;
    request.addValue(std::to_string(*intValue), header);
}

bool BLSUtil::streamAvailable(const platform::Stream* stream) {
    // No stream has nothing to give or take.
    if (stream == nullptr) return false;
    switch (stream->status()) {
        case platform::StreamStatus::AtEnd:
        case platform::StreamStatus::Closed:
        case platform::StreamStatus::Error: return false;
        default: return true;
    }
}

std::string BLSUtil::URLEncodedStringWithString(std::string_view text) {
    return platform::net::percentEncodeUnreserved(text);
}

std::map<std::string, std::string> BLSUtil::parseQueryWithQueryString(const std::optional<std::string>& query) {
    std::map<std::string, std::string> pairs;
    if (!query || query->empty()) return pairs;
    std::string_view text(*query);
    if (text.front() == '?') text.remove_prefix(1);
    if (text.empty()) return pairs;

    std::size_t start = 0;
    while (true) {
        auto end = text.find('&', start);
        std::string_view piece =
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        auto equals = piece.find('=');
        std::optional<std::string> key, value;
        if (equals != std::string_view::npos && equals != 0) {
            key = platform::net::percentDecode(piece.substr(0, equals));
            value = platform::net::percentDecode(piece.substr(equals + 1));
        } else {
            key = std::string();
            value = platform::net::percentDecode(piece);
        }
        // A piece with a broken escape has no meaning; it is left out.
        if (key && value) {
            auto [it, inserted] = pairs.try_emplace(*key, *value);
            if (!inserted) it->second += "," + *value;
        }
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return pairs;
}

bool BLSUtil::usePathStyleAddressing(const std::optional<platform::net::URL>& url) {
    if (!url) return false;
    const std::string& host = url->host();
    if (host.empty()) return true;
    // Addresses without a DNS name (the development storage, IP literals,
    // localhost) carry the account as the first path segment.
    if (isPathDnsNameWithHost(host)) return true;
    if (url->port() && isDevelopmentPort(*url->port())) return isPathDnsNameWithHost(host);
    return false;
}

bool BLSUtil::isPathDnsNameWithHost(std::string_view host) {
    if (host.empty()) return true;
    return platform::ascii::equalsIgnoringCase(host, "localhost") || isIPLiteral(host);
}

std::string BLSUtil::computeHmac256WithString(std::string_view text, std::span<const std::uint8_t> key) {
    auto digest = platform::security::hmacSha256(key, platform::security::bytesOf(text));
    return platform::security::base64Encode(digest);
}

std::string BLSUtil::calculateMD5FromData(std::span<const std::uint8_t> data) {
    return platform::security::base64Encode(platform::security::md5(data));
}

platform::Error BLSUtil::createErrorFromError(std::optional<platform::Error> error, const std::string& domain,
                                              long code, platform::Error::UserInfo userInfo) {
    platform::Error fresh(domain, code, std::move(userInfo));
    if (!error) return fresh;
    platform::Error* last = &*error;
    while (auto* inner = last->userInfoValue<platform::Error>(BLSErrorKey::InternalError)) last = inner;
    last->userInfo()[BLSErrorKey::InternalError] = std::move(fresh);
    return std::move(*error);
}

const std::shared_ptr<BLSOperationContext>& BLSUtil::operationlessContext() {
    static const std::shared_ptr<BLSOperationContext> context = std::make_shared<BLSOperationContext>();
    return context;
}
