#include "storage/BLSServiceProperties.h"

#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSXMLResponseFrame.h"

#include <array>
#include <utility>

namespace {

constexpr std::size_t kStackCapacity = 50;

// Like componentsSeparatedByString: empty pieces are kept, blanks too.
std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> pieces;
    std::string::size_type begin = 0;
    while (true) {
        const auto comma = text.find(',', begin);
        pieces.push_back(text.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin));
        if (comma == std::string::npos) return pieces;
        begin = comma + 1;
    }
}

platform::Error invalidValue(const std::string& what, const std::string& text) {
    return BLSMakeError(BLSErrorCode::ParseError,
                        {{platform::Error::LocalizedDescriptionKey, "Invalid " + what + ": " + text}});
}

}  // namespace

BLSCorsHttpMethods BLSServicePropertiesResponseParser::convertStringToCorsHttpMethod(std::string_view text) {
    static constexpr std::array<std::pair<std::string_view, BLSCorsHttpMethods>, 9> kMethods{{
        {"GET", BLSCorsHttpMethodsGet},
        {"HEAD", BLSCorsHttpMethodsHead},
        {"POST", BLSCorsHttpMethodsPost},
        {"PUT", BLSCorsHttpMethodsPut},
        {"DELETE", BLSCorsHttpMethodsDelete},
        {"TRACE", BLSCorsHttpMethodsTrace},
        {"OPTIONS", BLSCorsHttpMethodsOptions},
        {"CONNECT", BLSCorsHttpMethodsConnect},
        {"MERGE", BLSCorsHttpMethodsMerge},
    }};
    for (const auto& [name, bit] : kMethods) {
        if (name == text) return bit;
    }
    return 0;
}

std::optional<BLSServiceProperties> BLSServicePropertiesResponseParser::parseDownloadServicePropertiesResponseWithData(
    std::span<const std::uint8_t> data, BLSOperationContext& operationContext, std::optional<platform::Error>& error) {
    BLSServiceProperties properties;
    bool retentionEnabled = false;
    std::optional<std::int64_t> retentionDays;
    std::optional<BLSCorsRule> corsRule;
    BLSXMLResponseFrame frame(operationContext, kStackCapacity);

    // Each retention policy and each CORS rule starts from nothing, so that
    // no section takes over what the one before it said.
    auto onBegin = [&](BLSXMLResponseFrame&, const std::string&, const std::string& element) {
        if (element == "RetentionPolicy") {
            retentionEnabled = false;
            retentionDays.reset();
        } else if (element == "CorsRule") {
            corsRule.reset();
        }
    };
    auto loggingSection = [&]() -> BLSLoggingProperties& {
        if (!properties.logging) properties.logging.emplace();
        return *properties.logging;
    };
    auto metricsSection = [&](const std::string& name) -> BLSMetricsProperties& {
        auto& section = name == "HourMetrics" ? properties.hourMetrics : properties.minuteMetrics;
        if (!section) section.emplace();
        return *section;
    };
    auto onEnd = [&](BLSXMLResponseFrame& frame, const std::string& parent, const std::string& ended,
                     const std::string& text) -> bool {
        if (ended == "RetentionPolicy") {
            // The section is the policy's own parent.
            std::optional<std::int64_t> days = retentionEnabled ? retentionDays : std::nullopt;
            if (parent == "Logging") loggingSection().retentionIntervalInDays = days;
            else if (parent == "HourMetrics" || parent == "MinuteMetrics")
                metricsSection(parent).retentionIntervalInDays = days;
            return true;
        }
        if (ended == "CorsRule") {
            if (!properties.corsRules) properties.corsRules.emplace();
            // A rule without any child says nothing; it is skipped.
            if (corsRule) properties.corsRules->push_back(std::move(*corsRule));
            corsRule.reset();
            return true;
        }
        if (ended == "Cors") {
            if (!properties.corsRules) properties.corsRules.emplace();
            return true;
        }
        if (parent == "StorageServiceProperties") {
            if (ended == "DefaultServiceVersion") properties.defaultServiceVersion = text;
        } else if (parent == "Logging") {
            BLSLoggingProperties& logging = loggingSection();
            if (ended == "Version") logging.version = text;
            else if (text == "true" && ended == "Delete") logging.logOperationTypes |= BLSLoggingOperationsDelete;
            else if (text == "true" && ended == "Read") logging.logOperationTypes |= BLSLoggingOperationsRead;
            else if (text == "true" && ended == "Write") logging.logOperationTypes |= BLSLoggingOperationsWrite;
        } else if (parent == "HourMetrics" || parent == "MinuteMetrics") {
            // "Enabled" sets nothing: a disabled section carries no
            // "IncludeAPIs" and stays at level 0.
            BLSMetricsProperties& metrics = metricsSection(parent);
            if (ended == "Version") {
                metrics.version = text;
            } else if (ended == "IncludeAPIs") {
                if (text == "true") metrics.metricsLevel = BLSMetricsLevelServiceAndAPI;
                else if (metrics.metricsLevel != BLSMetricsLevelServiceAndAPI)
                    metrics.metricsLevel = BLSMetricsLevelService;
            }
        } else if (parent == "RetentionPolicy") {
            if (ended == "Enabled") {
                retentionEnabled = text == "true";
            } else if (ended == "Days") {
                retentionDays = BLSReadNonNegativeInt64(text);
                if (!retentionDays) frame.fail(invalidValue("retention days", text));
            }
        } else if (parent == "CorsRule") {
            if (!corsRule) corsRule.emplace();
            if (ended == "AllowedOrigins" && !text.empty()) {
                corsRule->allowedOrigins = split(text);
            } else if (ended == "ExposedHeaders" && !text.empty()) {
                corsRule->exposedHeaders = split(text);
            } else if (ended == "AllowedHeaders" && !text.empty()) {
                corsRule->allowedHeaders = split(text);
            } else if (ended == "AllowedMethods" && !text.empty()) {
                for (const std::string& method : split(text))
                    corsRule->allowedHttpMethods |= convertStringToCorsHttpMethod(method);
            } else if (ended == "MaxAgeInSeconds") {
                auto seconds = BLSReadInt32(text);
                if (seconds) corsRule->maxAgeInSeconds = *seconds;
                else frame.fail(invalidValue("MaxAgeInSeconds", text));
            }
        } else {
            return false;
        }
        return true;
    };

    if (!frame.run(data, onBegin, onEnd)) {
        operationContext.logAtLevel(BLSLogLevelError, "Parse unsuccessful for service properties response.");
        error = frame.failure() ? std::move(*frame.failure()) : BLSMakeError(BLSErrorCode::ParseError);
        return std::nullopt;
    }
    return properties;
}
