#pragma once
// One batch of logs sent in one request: {"logs":[{...},{...}]}.

#include "telemetry/core/Model/TLMAbstractLog.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class TLMLogContainer {
public:
    TLMLogContainer(std::string batchId, std::vector<std::shared_ptr<TLMAbstractLog>> logs);

    const std::string& batchId() const { return mBatchId; }
    void setBatchId(std::string batchId) { mBatchId = std::move(batchId); }
    const std::vector<std::shared_ptr<TLMAbstractLog>>& logs() const { return mLogs; }
    void setLogs(std::vector<std::shared_ptr<TLMAbstractLog>> logs) { mLogs = std::move(logs); }

    // The compact request body.
    std::optional<std::string> serializeLog() const;
    // The request body: the logs' JSON objects in order under "logs". When
    // JSON cannot hold a log the error "Couldn't serialize log container
    // to json: <reason>" is logged and there is no body at all: the batch
    // fails here and is never sent empty or without that log.
    std::optional<std::string> serializeLogWithPrettyPrinting(bool prettyPrint) const;

    // False for an empty container ("<class>: there are no logs in
    // container." at verbose level) and at the first invalid log.
    bool isValid() const;

private:
    std::string mBatchId;
    std::vector<std::shared_ptr<TLMAbstractLog>> mLogs;
};
