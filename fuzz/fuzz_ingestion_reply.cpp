// An answer of the telemetry ingestion from untrusted bytes: the first two
// bytes are the status (0 to 999), the text up to the first line feed the
// content type, the rest the body. The ingestion prints it at the verbose
// level (pretty JSON, the masking of tokens as the unified-collector
// ingestion masks them, "<binary>"), and the channel decides what becomes of
// the batch; a batch is sent only by a 2xx answer and never dropped for an
// answer that may change.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/support/FuzzSupport.h"
#include "telemetry/Internals/Channel/TLMChannelUnitDefault.h"
#include "telemetry/Internals/Ingestion/TLMDefaultIngestion.h"
#include "telemetry/Internals/Ingestion/TLMHttpUtil.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/core/Util/TLMUtility.h"

using fuzzsupport::Require;

namespace {

// Masks a member named token as the unified-collector ingestion does.
class MaskingIngestion final : public TLMDefaultIngestion {
public:
    using TLMDefaultIngestion::TLMDefaultIngestion;
    std::optional<std::string> obfuscateResponsePayload(const std::string& payload) override {
        return TLMUtility::obfuscateString(payload, "\"token\"\\s*:\\s*\"[^\"]+\"", "\"token\" : \"***\"");
    }
};

struct Setup {
    Setup() {
        TLMLogger::setCurrentLogLevel(TLMLogLevelVerbose);
        // The text is made, as a printing handler would, and thrown away.
        TLMLogger::setLogHandler([](const TLMLogMessageProvider& provider, TLMLogLevel, const std::string&,
                                    const std::string&, const std::string&, int) { (void)provider(); });
        ingestion = std::make_shared<MaskingIngestion>(nullptr, "https://in.example", "install");
    }
    std::shared_ptr<MaskingIngestion> ingestion;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Setup setup;
    if (size < 2) return 0;
    const int status = (data[0] << 8 | data[1]) % 1000;
    const std::string rest = fuzzsupport::Text(data + 2, size - 2);
    const std::size_t lineEnd = rest.find('\n');
    const std::string type = lineEnd == std::string::npos ? "" : rest.substr(0, lineEnd);
    const std::string body = lineEnd == std::string::npos ? rest : rest.substr(lineEnd + 1);

    platform::net::HTTPURLResponse response;
    response.statusCode = status;
    if (platform::net::isValidHeaderValue(type)) response.headers.set("Content-Type", type);
    setup.ingestion->printResponse(response, std::vector<std::uint8_t>(body.begin(), body.end()), std::nullopt);
    TLMLogger::waitUntilIdle();

    const TLMBatchOutcome outcome = TLMChannelUnitDefault::batchOutcome(response, std::nullopt);
    const bool success = status >= 200 && status < 300;
    Require((outcome == TLMBatchOutcome::Sent) == success, "only a 2xx answer sends a batch");
    if (TLMHttpUtil::isRecoverableError(status)) {
        Require(outcome == TLMBatchOutcome::Kept, "an answer that may change keeps the batch");
    }
    Require(!(success && TLMHttpUtil::isRecoverableError(status)), "a success is not retried");
    return 0;
}
