#pragma once
// One batch of logs sent in one request: {"logs":[{...},{...}]}.
//
// The logs are written once, when first asked, under the container's own
// lock, and the texts kept: a log changed later is not written again.
// setLogs starts over, and is for a container not shared yet.

#include "telemetry/core/Model/TLMAbstractLog.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class TLMLogContainer {
public:
    TLMLogContainer(std::string batchId, std::vector<std::shared_ptr<TLMAbstractLog>> logs);

    const std::string& batchId() const { return mBatchId; }
    void setBatchId(std::string batchId) { mBatchId = std::move(batchId); }
    const std::vector<std::shared_ptr<TLMAbstractLog>>& logs() const { return mLogs; }
    void setLogs(std::vector<std::shared_ptr<TLMAbstractLog>> logs);

    // The compact request body.
    std::optional<std::string> serializeLog() const;
    // The request body: the JSON objects of the written logs (below) in
    // order under "logs". None when logs were dropped and none is left: the
    // batch is never sent empty.
    std::optional<std::string> serializeLogWithPrettyPrinting(bool prettyPrint) const;

    // Each log's compact JSON text, in order, each written on its own. A log
    // that JSON cannot hold (a text that is not UTF-8, a number that is not
    // finite) is dropped alone, and one error gives the count: "Couldn't
    // serialize <n> of <count> log(s) of batch Id <id> to json, dropped:
    // <first reason>". Written once; later calls give the same texts.
    const std::vector<std::string>& serializedLogs() const;
    // The logs that serializedLogs() dropped, in order.
    std::vector<std::shared_ptr<TLMAbstractLog>> unwritableLogs() const;

    // False for an empty container ("<class>: there are no logs in
    // container." at verbose level) and at the first invalid log.
    bool isValid() const;

private:
    struct Written {
        std::vector<std::string> texts;
        std::vector<std::shared_ptr<TLMAbstractLog>> dropped;
    };
    const Written& written() const;

    std::string mBatchId;
    std::vector<std::shared_ptr<TLMAbstractLog>> mLogs;
    mutable std::mutex mWrittenMutex;
    mutable std::optional<Written> mWritten;
};
