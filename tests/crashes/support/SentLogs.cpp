#include "tests/crashes/support/SentLogs.h"

namespace crashtest {

std::vector<platform::Value::Dictionary> sentLogs(const testsupport::IngestionTestServer& server,
                                                  const std::string& type) {
    std::vector<platform::Value::Dictionary> logs;
    for (const testsupport::IngestionRequest& request : server.requests()) {
        for (const platform::Value& log : request.logs) {
            const auto* fields = log.asDictionary();
            if (fields && fields->count("type") && fields->at("type") == platform::Value(type)) logs.push_back(*fields);
        }
    }
    return logs;
}

std::string text(const platform::Value::Dictionary& fields, const std::string& key) {
    const auto found = fields.find(key);
    return found != fields.end() && found->second.asString() ? *found->second.asString() : std::string();
}

}  // namespace crashtest
