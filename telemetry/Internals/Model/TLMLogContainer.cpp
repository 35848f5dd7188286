#include "telemetry/Internals/Model/TLMLogContainer.h"

#include "telemetry/TLMLogger.h"

TLMLogContainer::TLMLogContainer(std::string batchId, std::vector<std::shared_ptr<TLMAbstractLog>> logs)
    : mBatchId(std::move(batchId)), mLogs(std::move(logs)) {}

std::optional<std::string> TLMLogContainer::serializeLog() const { return serializeLogWithPrettyPrinting(false); }

std::optional<std::string> TLMLogContainer::serializeLogWithPrettyPrinting(bool prettyPrint) const {
    TLMJsonValue::Array logs;
    logs.reserve(mLogs.size());
    for (const auto& log : mLogs) {
        if (log) logs.emplace_back(log->serializeToDictionary());
    }
    TLMOrderedDictionary body(1);
    body.setObject(std::move(logs), "logs");
    std::string error;
    std::optional<std::string> text = body.jsonText(prettyPrint, &error);
    if (!text) TLMLogError("Telemetry", "Couldn't serialize log container to json: %s", error.c_str());
    return text;
}

bool TLMLogContainer::isValid() const {
    if (mLogs.empty()) {
        const std::string containerClass = TLMClassName(typeid(*this));
        TLMLogVerbose("Telemetry", "%s: there are no logs in container.", containerClass.c_str());
        return false;
    }
    for (const auto& log : mLogs) {
        if (!log || !log->isValid()) return false;
    }
    return true;
}
