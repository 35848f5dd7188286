#pragma once
// The XML bodies of Put Block List, the container ACL upload and Set Service
// Properties, written with libxml2's text writer as UTF-8 text.

#include "platform/foundation/Error.h"
#include "storage/BLSListResponses.h"
#include "storage/BLSServiceProperties.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

class BLSOperationContext;
struct _xmlTextWriter;  // libxml2's writer

// Every method expects `error` to be empty on entry. A writer call that
// fails records error code 7 (XMLCreationError, "xmlReturnCode" = its result)
// and writing goes on, so a text may come back together with an error:
// callers must check `error` and send nothing when it is set. Texts that are
// not valid UTF-8 or hold characters XML cannot carry count as failed writer
// calls. nullopt comes back only when the writer cannot be made.
class BLSBlobRequestXML {
public:
    // <BlockList> with one <Latest>/<Committed>/<Uncommitted> per item.
    static std::optional<std::string> createBlockListXMLFromArray(const std::vector<BLSBlockListItem>& blockList,
                                                                  BLSOperationContext& operationContext,
                                                                  std::optional<platform::Error>& error);
    // <SignedIdentifiers> with one <SignedIdentifier> per policy, in key order.
    static std::optional<std::string> createStoredPoliciesXMLFromPermissions(
        const std::map<std::string, BLSSharedAccessPolicy>& permissions, BLSOperationContext& operationContext,
        std::optional<platform::Error>& error);
    // <StorageServiceProperties> with the parts that are set.
    static std::optional<std::string> createServicePropertiesXML(const BLSServiceProperties& serviceProperties,
                                                                 BLSOperationContext& operationContext,
                                                                 std::optional<platform::Error>& error);

    // Parts written into a writer the caller holds: the contents of an
    // "HourMetrics"/"MinuteMetrics" element, a "RetentionPolicy" element, and
    // a "Cors" element with its rules.
    static void createMetricsPropertiesXML(const BLSMetricsProperties& metricsProperties, _xmlTextWriter* writer,
                                           BLSOperationContext& operationContext,
                                           std::optional<platform::Error>& error);
    static void createRetentionPolicyXML(std::optional<std::int64_t> retentionIntervalInDays, _xmlTextWriter* writer,
                                         BLSOperationContext& operationContext, std::optional<platform::Error>& error);
    static void createCorsPropertiesXML(const std::vector<BLSCorsRule>& corsRules, _xmlTextWriter* writer,
                                        BLSOperationContext& operationContext, std::optional<platform::Error>& error);

    // "GET,PUT,HEAD,POST,MERGE,TRACE,DELETE,CONNECT,OPTIONS" filtered by the
    // bits set; nullopt when none is.
    static std::optional<std::string> convertCorsHttpMethodToString(BLSCorsHttpMethods methods);

    // A negative writer result records error code 7 unless `error` already
    // holds one.
    static void checkReturnCodeAndCreateErrorWithReturnCode(int returnCode, BLSOperationContext& operationContext,
                                                            std::optional<platform::Error>& error);
};
