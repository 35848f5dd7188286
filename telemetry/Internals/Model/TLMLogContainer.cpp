#include "telemetry/Internals/Model/TLMLogContainer.h"

#include "telemetry/TLMLogger.h"

#include <algorithm>

TLMLogContainer::TLMLogContainer(std::string batchId, std::vector<std::shared_ptr<TLMAbstractLog>> logs)
    : mBatchId(std::move(batchId)), mLogs(std::move(logs)) {}

void TLMLogContainer::setLogs(std::vector<std::shared_ptr<TLMAbstractLog>> logs) {
    std::lock_guard lock(mWrittenMutex);
    mLogs = std::move(logs);
    mWritten.reset();
}

const TLMLogContainer::Written& TLMLogContainer::written() const {
    std::lock_guard lock(mWrittenMutex);
    if (mWritten) return *mWritten;
    Written written;
    written.texts.reserve(mLogs.size());
    std::string firstReason;
    for (const auto& log : mLogs) {
        if (!log) continue;
        std::string reason;
        if (std::optional<std::string> text = log->serializeToDictionary().jsonText(false, &reason)) {
            written.texts.push_back(std::move(*text));
        } else {
            if (written.dropped.empty()) firstReason = reason;
            written.dropped.push_back(log);
        }
    }
    if (!written.dropped.empty()) {
        const std::size_t dropped = written.dropped.size();
        const std::size_t count = dropped + written.texts.size();
        const std::string batchId = mBatchId;  // the message is made later
        TLMLogError("Telemetry", "Couldn't serialize %zu of %zu log(s) of batch Id %s to json, dropped: %s", dropped,
                    count, batchId.c_str(), firstReason.c_str());
    }
    return mWritten.emplace(std::move(written));
}

const std::vector<std::string>& TLMLogContainer::serializedLogs() const { return written().texts; }

std::vector<std::shared_ptr<TLMAbstractLog>> TLMLogContainer::unwritableLogs() const { return written().dropped; }

std::optional<std::string> TLMLogContainer::serializeLog() const { return serializeLogWithPrettyPrinting(false); }

std::optional<std::string> TLMLogContainer::serializeLogWithPrettyPrinting(bool prettyPrint) const {
    const Written& logs = written();
    if (logs.texts.empty() && !logs.dropped.empty()) return std::nullopt;
    if (!prettyPrint) {
        // What the whole body's writer gives, without writing a log twice.
        std::string body = "{\"logs\":[";
        for (std::size_t i = 0; i < logs.texts.size(); ++i) {
            if (i != 0) body += ',';
            body += logs.texts[i];
        }
        return body += "]}";
    }
    TLMJsonValue::Array kept;
    kept.reserve(logs.texts.size());
    for (const auto& log : mLogs) {
        const bool dropped = std::find(logs.dropped.begin(), logs.dropped.end(), log) != logs.dropped.end();
        if (log && !dropped) kept.emplace_back(log->serializeToDictionary());
    }
    TLMOrderedDictionary body(1);
    body.setObject(std::move(kept), "logs");
    return body.jsonText(true);
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
