// The ingestion test server reads bodies as the tests rely on: batches and
// JSON lines, the final line feed, gzip, and the damage it reports.

#include "tests/telemetry/support/TelemetryTestSupport.h"

#include "telemetry/Internals/Util/TLMCompression.h"

#include <gtest/gtest.h>

using testsupport::IngestionRequest;

namespace {

std::vector<std::uint8_t> bytes(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace

TEST(IngestionTestServer, ReadsBatchesAndJsonLinesAndReportsDamage) {
    testsupport::ScopedTestLinks links;
    testsupport::IngestionTestServer server;
    server.start();
    auto client = TLMHttpClient::make();

    platform::net::HTTPHeaders gzip;
    gzip.set("Content-Encoding", "gzip");
    const std::string lines = "{\"name\":\"a\"}\n{\"name\":\"b\"}\n";
    struct Case {
        const char* name;
        std::vector<std::uint8_t> body;
        platform::net::HTTPHeaders headers;
        IngestionRequest::Kind kind;
        std::vector<std::string> names;
        bool finalNewline;
        const char* errorStart;
    };
    const Case cases[] = {
        {"batch",
         bytes(R"({"logs":[{"name":"a"},{"name":"b"}]})"),
         {},
         IngestionRequest::Kind::Logs,
         {"a", "b"},
         false,
         ""},
        {"JSON lines", bytes(lines), {}, IngestionRequest::Kind::Lines, {"a", "b"}, true, ""},
        {"JSON lines, gzip",
         *TLMCompression::compressData(bytes(lines)),
         gzip,
         IngestionRequest::Kind::Lines,
         {"a", "b"},
         true,
         ""},
        {"no final line feed",
         bytes("{\"name\":\"a\"}\n{\"name\":\"b\"}"),
         {},
         IngestionRequest::Kind::Lines,
         {"a", "b"},
         false,
         "the last line has no line feed"},
        {"a line that is no JSON",
         bytes("{\"name\":\"a\"}\nnope\n"),
         {},
         IngestionRequest::Kind::Other,
         {"a"},
         true,
         "line 2"},
        {"not gzip", bytes(lines), gzip, IngestionRequest::Kind::Empty, {}, false, "gzip"},
    };
    std::size_t count = 0;
    for (const Case& c : cases) {
        client->sendAsync(*platform::net::URL::parse(server.baseUrl() + "/any"), "POST", c.headers, c.body, {}, false,
                          {}, [](const auto&, const auto&, const auto&) {});
        ASSERT_TRUE(server.waitForRequests(++count)) << c.name;
        const IngestionRequest request = server.requests().back();
        EXPECT_EQ(request.kind, c.kind) << c.name;
        EXPECT_EQ(testsupport::eventNames(request), c.names) << c.name;
        EXPECT_EQ(request.finalNewline, c.finalNewline) << c.name;
        EXPECT_EQ(request.bodyError.rfind(c.errorStart, 0), 0u) << c.name << ": " << request.bodyError;
        EXPECT_EQ(request.bodyError.empty(), std::string(c.errorStart).empty()) << c.name;
        EXPECT_EQ(request.status, 200) << c.name;
    }
}
