#pragma once
// What the ingestion test server received, as the crash tests read it.

#include "tests/telemetry/support/IngestionTestServer.h"

#include <string>
#include <vector>

namespace crashtest {

// The logs of one type in every request, as JSON objects, in order.
std::vector<platform::Value::Dictionary> sentLogs(const testsupport::IngestionTestServer& server,
                                                  const std::string& type);
// The text under `key`; empty when there is none.
std::string text(const platform::Value::Dictionary& fields, const std::string& key);

}  // namespace crashtest
