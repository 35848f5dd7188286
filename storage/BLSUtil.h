#pragma once
// Helpers shared by the whole storage client: service date formats, optional
// headers, URL encoding and query parsing, path-style addressing, digests.

#include "platform/foundation/Error.h"
#include "platform/net/URL.h"
#include "storage/BLSResultTypes.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform {
class Stream;
}
namespace platform::net {
struct URLRequest;
}
class BLSOperationContext;

class BLSUtil {
public:
    using Date = std::chrono::system_clock::time_point;

    // Every reader below gives nullopt for a text that is not a date of its
    // format, and for a date outside what a Date holds (about 1678 to
    // 2261); the wide readers hold any four-digit year.

    // "Sat, 01 Jan 2000 00:00:00 GMT" (English names, UTC); nullopt for nullopt.
    static std::optional<std::string> convertDateToHttpString(const std::optional<Date>& date);
    // Reads an HTTP (RFC 1123) date.
    static std::optional<Date> dateFromHttpString(std::string_view text);
    // "yyyy-MM-ddTHH:mm:ss.fffffffZ" and back (seven fractional digits).
    static std::string convertDateToRoundtripString(Date date);
    static std::optional<Date> dateFromRoundtripString(std::string_view text);
    static std::optional<BLSWideDate> wideDateFromRoundtripString(std::string_view text);
    // "yyyy-MM-ddTHH:mm:ssZ" in UTC, "" for nullopt; and back.
    static std::string utcTimeOrEmptyWithDate(const std::optional<Date>& date);
    static std::string utcTimeOrEmptyWithWideDate(const std::optional<BLSWideDate>& date);
    static std::optional<Date> dateFromUtcTimeString(std::string_view text);
    static std::optional<BLSWideDate> wideDateFromUtcTimeString(std::string_view text);

    // Adds the value to the header (joined to an existing value with ",");
    // nothing for nullopt. Throws platform::net::InvalidHeaderError for a
    // value that may not stand in a header.
    static void addOptionalHeaderToRequest(platform::net::URLRequest& request, std::string_view header,
                                           const std::optional<std::string>& stringValue);
    static void addOptionalHeaderToRequest(platform::net::URLRequest& request, std::string_view header,
                                           std::optional<std::int64_t> intValue);

    // False when the stream is at its end, closed or failed.
    static bool streamAvailable(const platform::Stream* stream);

    // Every byte but - . _ ~ A-Z a-z 0-9 as %XX (upper-case hex).
    static std::string URLEncodedStringWithString(std::string_view text);
    // Pairs of a query ("?" optional), keys and values percent-decoded; a
    // repeated key joins its values with ",". Pieces whose escapes cannot be
    // decoded are skipped.
    static std::map<std::string, std::string> parseQueryWithQueryString(const std::optional<std::string>& query);

    // Path-style addressing (account name as first path segment): URLs
    // without host and URLs whose host is an IP literal (v4 or v6) or
    // "localhost", which covers the development storage. A DNS host is
    // host-style on any port, the development ports included.
    // isPathDnsNameWithHost is true for such hosts (and the empty one).
    static bool usePathStyleAddressing(const std::optional<platform::net::URL>& url);
    static bool isPathDnsNameWithHost(std::string_view host);

    // HMAC-SHA256 with the raw account key, in base64 (44 characters). The
    // key alone, not the credentials, so that the helpers stay below them.
    static std::string computeHmac256WithString(std::string_view text, std::span<const std::uint8_t> key);
    // MD5 in base64 (24 characters).
    static std::string calculateMD5FromData(std::span<const std::uint8_t> data);

    // Chains a new error under "Internal Error" at the end of `error`'s
    // chain, or returns a new error when there is none.
    static platform::Error createErrorFromError(std::optional<platform::Error> error, const std::string& domain,
                                                long code, platform::Error::UserInfo userInfo);

    // The shared context used for logging where no operation runs.
    static const std::shared_ptr<BLSOperationContext>& operationlessContext();
};
