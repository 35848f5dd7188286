#pragma once
// The blob service's account-wide settings (request logging, hourly and
// minutely metrics, CORS rules, default REST version) and the reader of the
// service's "StorageServiceProperties" reply. BLSBlobRequestXML writes them.

#include "platform/foundation/Error.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class BLSOperationContext;

using BLSLoggingOperations = unsigned long;
inline constexpr BLSLoggingOperations BLSLoggingOperationsNone = 0;
inline constexpr BLSLoggingOperations BLSLoggingOperationsRead = 1;
inline constexpr BLSLoggingOperations BLSLoggingOperationsWrite = 2;
inline constexpr BLSLoggingOperations BLSLoggingOperationsDelete = 4;

enum BLSMetricsLevel : long {
    BLSMetricsLevelDisabled = 0,
    BLSMetricsLevelService = 1,
    BLSMetricsLevelServiceAndAPI = 2,
};

using BLSCorsHttpMethods = unsigned long;
inline constexpr BLSCorsHttpMethods BLSCorsHttpMethodsGet = 1;
inline constexpr BLSCorsHttpMethods BLSCorsHttpMethodsHead = 2;
inline constexpr BLSCorsHttpMethods BLSCorsHttpMethodsPost = 4;
inline constexpr BLSCorsHttpMethods BLSCorsHttpMethodsPut = 8;
inline constexpr BLSCorsHttpMethods BLSCorsHttpMethodsDelete = 16;
inline constexpr BLSCorsHttpMethods BLSCorsHttpMethodsTrace = 32;
inline constexpr BLSCorsHttpMethods BLSCorsHttpMethodsOptions = 64;
inline constexpr BLSCorsHttpMethods BLSCorsHttpMethodsConnect = 128;
inline constexpr BLSCorsHttpMethods BLSCorsHttpMethodsMerge = 256;

struct BLSLoggingProperties {
    std::string version = "1.0";
    BLSLoggingOperations logOperationTypes = BLSLoggingOperationsNone;
    std::optional<std::int64_t> retentionIntervalInDays;  // nullopt: no retention

    bool operator==(const BLSLoggingProperties&) const = default;
};

struct BLSMetricsProperties {
    std::string version = "1.0";
    BLSMetricsLevel metricsLevel = BLSMetricsLevelDisabled;
    std::optional<std::int64_t> retentionIntervalInDays;  // nullopt: no retention

    bool operator==(const BLSMetricsProperties&) const = default;
};

struct BLSCorsRule {
    std::vector<std::string> allowedOrigins;
    std::vector<std::string> exposedHeaders;
    std::vector<std::string> allowedHeaders;
    BLSCorsHttpMethods allowedHttpMethods = 0;
    long maxAgeInSeconds = 0;

    bool operator==(const BLSCorsRule&) const = default;
};

// Every part may be missing; an empty corsRules differs from a missing one
// (an empty "Cors" element clears the rules).
struct BLSServiceProperties {
    std::optional<BLSLoggingProperties> logging;
    std::optional<BLSMetricsProperties> hourMetrics;
    std::optional<BLSMetricsProperties> minuteMetrics;
    std::optional<std::vector<BLSCorsRule>> corsRules;
    std::optional<std::string> defaultServiceVersion;

    bool operator==(const BLSServiceProperties&) const = default;
};

class BLSServicePropertiesResponseParser {
public:
    // Reads a "StorageServiceProperties" document. Malformed XML, a
    // mismatched end tag or a number that does not fit its field gives
    // nullopt and error code 6 (ParseError). Unknown elements and method
    // names are ignored; a "CorsRule" without any child is skipped.
    static std::optional<BLSServiceProperties> parseDownloadServicePropertiesResponseWithData(
        std::span<const std::uint8_t> data, BLSOperationContext& operationContext,
        std::optional<platform::Error>& error);

    // One bit of BLSCorsHttpMethods for a method name ("GET" 1 ... "MERGE"
    // 256, compared with case), 0 for any other text.
    static BLSCorsHttpMethods convertStringToCorsHttpMethod(std::string_view text);
};
