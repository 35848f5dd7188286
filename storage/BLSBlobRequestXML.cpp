#include "storage/BLSBlobRequestXML.h"

#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSSharedAccessSignatureHelper.h"
#include "storage/BLSUtil.h"

#include <libxml/xmlwriter.h>

#include <array>
#include <string_view>
#include <utility>

namespace {

const xmlChar* name(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

// True for well-formed UTF-8 made only of characters XML 1.0 can carry; the
// writer copies text bytes as they are, so anything else would give a
// document the service cannot read.
bool isXMLText(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::uint32_t codePoint;
        std::size_t length;
        if (lead < 0x80) {
            codePoint = lead;
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            codePoint = lead & 0x1Fu;
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            codePoint = lead & 0x0Fu;
            length = 3;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            codePoint = lead & 0x07u;
            length = 4;
        } else {
            return false;
        }
        if (text.size() - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0u) != 0x80u) return false;
            codePoint = (codePoint << 6) | (next & 0x3Fu);
        }
        // Overlong forms, surrogates and values past U+10FFFF.
        if ((length == 3 && codePoint < 0x800) || (length == 4 && (codePoint < 0x10000 || codePoint > 0x10FFFF)) ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            return false;
        }
        const bool allowed = codePoint == 0x9 || codePoint == 0xA || codePoint == 0xD ||
                             (codePoint >= 0x20 && codePoint <= 0xD7FF) ||
                             (codePoint >= 0xE000 && codePoint <= 0xFFFD) || codePoint >= 0x10000;
        if (!allowed) return false;
        i += length;
    }
    return true;
}

// One element holding text; -1, like a failed writer call, for a missing
// value or text XML cannot carry.
int writeElement(xmlTextWriterPtr writer, const char* element, const std::optional<std::string>& text) {
    if (!text || !isXMLText(*text)) return -1;
    return xmlTextWriterWriteElement(writer, name(element), reinterpret_cast<const xmlChar*>(text->c_str()));
}

const char* boolText(bool value) { return value ? "true" : "false"; }

std::optional<std::string> joined(const std::vector<std::string>& pieces) {
    std::string text;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) text += ',';
        text += pieces[i];
    }
    return text;
}

// A writer on a memory buffer; the document is taken out as UTF-8 text.
class MemoryWriter {
public:
    MemoryWriter() : mBuffer(xmlBufferCreate()) {
        if (mBuffer != nullptr) mWriter = xmlNewTextWriterMemory(mBuffer, 0);
    }
    ~MemoryWriter() {
        if (mWriter != nullptr) xmlFreeTextWriter(mWriter);
        if (mBuffer != nullptr) xmlBufferFree(mBuffer);
    }
    MemoryWriter(const MemoryWriter&) = delete;
    MemoryWriter& operator=(const MemoryWriter&) = delete;

    bool hasBuffer() const { return mBuffer != nullptr; }
    xmlTextWriterPtr writer() const { return mWriter; }

    // Frees the writer (flushing it) and returns the buffer's bytes.
    std::string text() {
        if (mWriter != nullptr) {
            xmlFreeTextWriter(mWriter);
            mWriter = nullptr;
        }
        const xmlChar* content = xmlBufferContent(mBuffer);
        const int length = xmlBufferLength(mBuffer);
        if (content == nullptr || length <= 0) return {};
        return std::string(reinterpret_cast<const char*>(content), static_cast<std::size_t>(length));
    }

private:
    xmlBufferPtr mBuffer = nullptr;
    xmlTextWriterPtr mWriter = nullptr;
};

void recordCreationFailure(const char* message, BLSOperationContext& operationContext,
                           std::optional<platform::Error>& error) {
    operationContext.logAtLevel(BLSLogLevelError, message);
    if (!error) error = BLSMakeError(BLSErrorCode::XMLCreationError);
}

}  // namespace

void BLSBlobRequestXML::checkReturnCodeAndCreateErrorWithReturnCode(int returnCode,
                                                                    BLSOperationContext& operationContext,
                                                                    std::optional<platform::Error>& error) {
    if (returnCode >= 0 || error) return;
    error = BLSMakeError(BLSErrorCode::XMLCreationError, {{BLSErrorKey::XmlReturnCode, static_cast<long>(returnCode)}});
    operationContext.logAtLevel(BLSLogLevelError, "Error in generating XML.");
}

std::optional<std::string> BLSBlobRequestXML::convertCorsHttpMethodToString(BLSCorsHttpMethods methods) {
    static constexpr std::array<std::pair<BLSCorsHttpMethods, const char*>, 9> kOrder{{
        {BLSCorsHttpMethodsGet, "GET"},
        {BLSCorsHttpMethodsPut, "PUT"},
        {BLSCorsHttpMethodsHead, "HEAD"},
        {BLSCorsHttpMethodsPost, "POST"},
        {BLSCorsHttpMethodsMerge, "MERGE"},
        {BLSCorsHttpMethodsTrace, "TRACE"},
        {BLSCorsHttpMethodsDelete, "DELETE"},
        {BLSCorsHttpMethodsConnect, "CONNECT"},
        {BLSCorsHttpMethodsOptions, "OPTIONS"},
    }};
    std::string text;
    for (const auto& [bit, method] : kOrder) {
        if ((methods & bit) == 0) continue;
        if (!text.empty()) text += ',';
        text += method;
    }
    if (text.empty()) return std::nullopt;
    return text;
}

std::optional<std::string> BLSBlobRequestXML::createBlockListXMLFromArray(
    const std::vector<BLSBlockListItem>& blockList, BLSOperationContext& operationContext,
    std::optional<platform::Error>& error) {
    MemoryWriter memory;
    if (!memory.hasBuffer() || memory.writer() == nullptr) {
        recordCreationFailure("Error in generating XML block list.", operationContext, error);
        return std::nullopt;
    }
    xmlTextWriterPtr writer = memory.writer();
    auto check = [&](int returnCode) {
        checkReturnCodeAndCreateErrorWithReturnCode(returnCode, operationContext, error);
    };

    check(xmlTextWriterStartDocument(writer, nullptr, "UTF-8", nullptr));
    check(xmlTextWriterStartElement(writer, name("BlockList")));
    for (const BLSBlockListItem& item : blockList) {
        const char* element = nullptr;
        switch (item.blockListMode) {
            case BLSBlockListModeLatest: element = "Latest"; break;
            case BLSBlockListModeCommitted: element = "Committed"; break;
            case BLSBlockListModeUncommitted: element = "Uncommitted"; break;
        }
        if (element == nullptr) {
            recordCreationFailure("Error in generating XML block list.", operationContext, error);
            continue;
        }
        check(writeElement(writer, element, item.blockID));
    }
    check(xmlTextWriterEndElement(writer));
    check(xmlTextWriterEndDocument(writer));
    return memory.text();
}

std::optional<std::string> BLSBlobRequestXML::createStoredPoliciesXMLFromPermissions(
    const std::map<std::string, BLSSharedAccessPolicy>& permissions, BLSOperationContext& operationContext,
    std::optional<platform::Error>& error) {
    MemoryWriter memory;
    if (!memory.hasBuffer() || memory.writer() == nullptr) {
        recordCreationFailure("Error in generating XML.", operationContext, error);
        return std::nullopt;
    }
    xmlTextWriterPtr writer = memory.writer();
    auto check = [&](int returnCode) {
        checkReturnCodeAndCreateErrorWithReturnCode(returnCode, operationContext, error);
    };

    check(xmlTextWriterStartDocument(writer, nullptr, "UTF-8", nullptr));
    check(xmlTextWriterStartElement(writer, name("SignedIdentifiers")));
    for (const auto& [identifier, policy] : permissions) {
        check(xmlTextWriterStartElement(writer, name("SignedIdentifier")));
        check(writeElement(writer, "Id", policy.policyIdentifier));
        check(xmlTextWriterStartElement(writer, name("AccessPolicy")));
        check(writeElement(writer, "Start", BLSUtil::utcTimeOrEmptyWithWideDate(policy.sharedAccessStartTime)));
        check(writeElement(writer, "Expiry", BLSUtil::utcTimeOrEmptyWithWideDate(policy.sharedAccessExpiryTime)));
        // Letters out of range make the write fail; the letter reader's own
        // error is not the one to report.
        std::optional<platform::Error> letterError;
        check(writeElement(writer, "Permission",
                           BLSSharedAccessSignatureHelper::stringFromPermissions(policy.permissions, letterError)));
        check(xmlTextWriterEndElement(writer));
        check(xmlTextWriterEndElement(writer));
    }
    check(xmlTextWriterEndElement(writer));
    check(xmlTextWriterEndDocument(writer));
    return memory.text();
}

void BLSBlobRequestXML::createRetentionPolicyXML(std::optional<std::int64_t> retentionIntervalInDays,
                                                 _xmlTextWriter* writer, BLSOperationContext& operationContext,
                                                 std::optional<platform::Error>& error) {
    auto check = [&](int returnCode) {
        checkReturnCodeAndCreateErrorWithReturnCode(returnCode, operationContext, error);
    };
    check(xmlTextWriterStartElement(writer, name("RetentionPolicy")));
    check(writeElement(writer, "Enabled", boolText(retentionIntervalInDays.has_value())));
    if (retentionIntervalInDays) check(writeElement(writer, "Days", std::to_string(*retentionIntervalInDays)));
    check(xmlTextWriterEndElement(writer));
}

void BLSBlobRequestXML::createMetricsPropertiesXML(const BLSMetricsProperties& metricsProperties,
                                                   _xmlTextWriter* writer, BLSOperationContext& operationContext,
                                                   std::optional<platform::Error>& error) {
    auto check = [&](int returnCode) {
        checkReturnCodeAndCreateErrorWithReturnCode(returnCode, operationContext, error);
    };
    const bool enabled = metricsProperties.metricsLevel != BLSMetricsLevelDisabled;
    check(writeElement(writer, "Version", metricsProperties.version));
    check(writeElement(writer, "Enabled", boolText(enabled)));
    if (enabled) {
        check(writeElement(writer, "IncludeAPIs",
                           boolText(metricsProperties.metricsLevel == BLSMetricsLevelServiceAndAPI)));
    }
    createRetentionPolicyXML(metricsProperties.retentionIntervalInDays, writer, operationContext, error);
}

void BLSBlobRequestXML::createCorsPropertiesXML(const std::vector<BLSCorsRule>& corsRules, _xmlTextWriter* writer,
                                                BLSOperationContext& operationContext,
                                                std::optional<platform::Error>& error) {
    auto check = [&](int returnCode) {
        checkReturnCodeAndCreateErrorWithReturnCode(returnCode, operationContext, error);
    };
    check(xmlTextWriterStartElement(writer, name("Cors")));
    for (const BLSCorsRule& rule : corsRules) {
        check(xmlTextWriterStartElement(writer, name("CorsRule")));
        // A rule must name at least one origin and one method.
        check(writeElement(writer, "AllowedOrigins",
                           rule.allowedOrigins.empty() ? std::nullopt : joined(rule.allowedOrigins)));
        check(writeElement(writer, "AllowedMethods", convertCorsHttpMethodToString(rule.allowedHttpMethods)));
        check(writeElement(writer, "MaxAgeInSeconds", std::to_string(rule.maxAgeInSeconds)));
        check(writeElement(writer, "ExposedHeaders", joined(rule.exposedHeaders)));
        check(writeElement(writer, "AllowedHeaders", joined(rule.allowedHeaders)));
        check(xmlTextWriterEndElement(writer));
    }
    check(xmlTextWriterEndElement(writer));
}

std::optional<std::string> BLSBlobRequestXML::createServicePropertiesXML(const BLSServiceProperties& serviceProperties,
                                                                         BLSOperationContext& operationContext,
                                                                         std::optional<platform::Error>& error) {
    MemoryWriter memory;
    if (!memory.hasBuffer()) {
        recordCreationFailure("Error in generating service properties XML.", operationContext, error);
        return std::nullopt;
    }
    if (memory.writer() == nullptr) {
        recordCreationFailure("Error in generating service propertes XML.", operationContext, error);
        return std::nullopt;
    }
    xmlTextWriterPtr writer = memory.writer();
    auto check = [&](int returnCode) {
        checkReturnCodeAndCreateErrorWithReturnCode(returnCode, operationContext, error);
    };

    check(xmlTextWriterStartDocument(writer, nullptr, "UTF-8", nullptr));
    check(xmlTextWriterStartElement(writer, name("StorageServiceProperties")));
    if (const auto& logging = serviceProperties.logging) {
        check(xmlTextWriterStartElement(writer, name("Logging")));
        check(writeElement(writer, "Version", logging->version));
        check(writeElement(writer, "Delete", boolText(logging->logOperationTypes & BLSLoggingOperationsDelete)));
        check(writeElement(writer, "Read", boolText(logging->logOperationTypes & BLSLoggingOperationsRead)));
        check(writeElement(writer, "Write", boolText(logging->logOperationTypes & BLSLoggingOperationsWrite)));
        createRetentionPolicyXML(logging->retentionIntervalInDays, writer, operationContext, error);
        check(xmlTextWriterEndElement(writer));
    }
    if (const auto& metrics = serviceProperties.hourMetrics) {
        check(xmlTextWriterStartElement(writer, name("HourMetrics")));
        createMetricsPropertiesXML(*metrics, writer, operationContext, error);
        check(xmlTextWriterEndElement(writer));
    }
    if (const auto& metrics = serviceProperties.minuteMetrics) {
        check(xmlTextWriterStartElement(writer, name("MinuteMetrics")));
        createMetricsPropertiesXML(*metrics, writer, operationContext, error);
        check(xmlTextWriterEndElement(writer));
    }
    if (const auto& rules = serviceProperties.corsRules)
        createCorsPropertiesXML(*rules, writer, operationContext, error);
    if (const auto& version = serviceProperties.defaultServiceVersion) {
        check(writeElement(writer, "DefaultServiceVersion", *version));
    }
    check(xmlTextWriterEndElement(writer));
    check(xmlTextWriterEndDocument(writer));
    return memory.text();
}
