#include "tests/storage/support/StorageTestSupport.h"

#include "storage/BLSCloudStorageAccount.h"
#include "storage/BLSRetryPolicy.h"

namespace storagetest {

Bytes patternBytes(std::size_t count, std::uint32_t seed) {
    Bytes bytes(count);
    std::uint32_t state = seed;
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

Bytes textBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

ErrorOut awaitError(const std::function<void(ErrorCompletion)>& start) {
    Awaited<ErrorOut> done;
    start(done.handler());
    auto [error] = done.get();
    EXPECT_EQ(done.calls(), 1);
    return error;
}

long statusOf(const platform::Error& error) {
    const long* status = error.userInfoValue<long>(BLSErrorKey::HTTPStatusCode);
    return status ? *status : -1;
}

std::string serviceCodeOf(const platform::Error& error) {
    const std::string* code = error.userInfoValue<std::string>(BLSErrorKey::Code);
    return code ? *code : std::string();
}

std::string descriptionOf(const platform::Error& error) {
    const std::string* text = error.userInfoValue<std::string>(platform::Error::LocalizedDescriptionKey);
    return text ? *text : std::string();
}

std::vector<RecordedRequest> requestsFor(const StorageTestServer& server, const std::string& operation) {
    std::vector<RecordedRequest> result;
    for (auto& request : server.requests()) {
        if (request.operation == operation) result.push_back(request);
    }
    return result;
}

std::shared_ptr<platform::VirtualClock> autoAdvancingClock() {
    auto clock = std::make_shared<platform::VirtualClock>();
    clock->setAutoAdvance(true);
    return clock;
}

void StorageServerTest::SetUp() {
    server.start();
    client = clientWithKey(server.keyBase64());
    ASSERT_TRUE(client);
}

std::shared_ptr<BLSCloudBlobClient> StorageServerTest::clientWithKey(const std::string& key) {
    ErrorOut error;
    auto account = BLSCloudStorageAccount::accountFromConnectionString(
        "DefaultEndpointsProtocol=http;AccountName=" + server.account() + ";AccountKey=" + key +
            ";BlobEndpoint=" + server.baseUrl(),
        error);
    EXPECT_TRUE(account) << (error ? error->localizedDescription() : "");
    return account ? account->getBlobClient() : nullptr;
}

std::shared_ptr<BLSCloudBlobContainer> StorageServerTest::createdContainer(const std::string& name) {
    auto container = client->containerReferenceFromName(name);
    ErrorOut error = await([&](auto done) { container->createContainerWithCompletionHandler(done); });
    EXPECT_FALSE(error) << error->localizedDescription();
    return container;
}

std::shared_ptr<BLSOperationContext> StorageServerTest::noRetryContext() {
    auto context = std::make_shared<BLSOperationContext>();
    context->setRetryPolicy(std::make_shared<BLSRetryPolicyNoRetry>());
    return context;
}

platform::net::URLComponents componentsOf(const char* text) {
    std::optional<platform::net::URL> url = platform::net::URL::parse(text);
    EXPECT_TRUE(url.has_value()) << text;
    return platform::net::URLComponents(*url);
}

Headers headersOf(const platform::net::URLRequest& request) {
    return Headers(request.headers.fields().begin(), request.headers.fields().end());
}

bool hasLineBreakOrControl(const platform::net::URLRequest& request) {
    for (const auto& [name, value] : request.headers.fields()) {
        for (char c : name + value) {
            auto byte = static_cast<unsigned char>(c);
            if ((byte < 0x20 && byte != '\t') || byte == 0x7F) return true;
        }
    }
    return false;
}

}  // namespace storagetest
