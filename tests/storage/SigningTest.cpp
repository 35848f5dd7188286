// Credentials and shared-key signing: the string to sign by hand for the
// documented cases, fixed signatures computed with openssl, and a dozen
// requests compared with an independent signer (golden/sign.py).

#include "storage/BLSStorageCredentials.h"

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Value.h"
#include "platform/net/URLRequest.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using platform::net::URL;
using platform::net::URLRequest;
using Headers = std::vector<std::pair<std::string, std::string>>;
using Clock = std::chrono::system_clock;

// Key bytes 00 01 02 ... 1f; for openssl:
// hexkey:000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f
constexpr const char* kKeyBase64 = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=";
// 2000-01-01 00:00:00 UTC, a Saturday.
constexpr long long kFixedTime = 946684800;
const Clock::time_point kSigningTime{std::chrono::seconds(kFixedTime)};

std::optional<URL> url(const std::string& text) {
    auto parsed = URL::parse(text);
    EXPECT_TRUE(parsed) << text;
    return parsed;
}

URLRequest makeRequest(const std::string& method, const std::string& address, const Headers& headers) {
    auto parsed = URL::parse(address);
    EXPECT_TRUE(parsed) << address;
    URLRequest request(parsed ? *parsed : *URL::parse("https://invalid.example"));
    request.httpMethod = method;
    for (const auto& [name, value] : headers) request.setValue(value, name);
    return request;
}

std::shared_ptr<BLSStorageCredentials> sharedKey() {
    return std::make_shared<BLSStorageCredentials>("acct", kKeyBase64);
}

// Signs at the fixed time and returns the string that was signed, taken
// from the context's info log.
struct Signed {
    std::optional<platform::Error> error;
    std::string stringToSign;
};

Signed signAtFixedTime(URLRequest& request) {
    BLSSharedKeyBlobAuthenticationHandler handler(sharedKey());
    BLSOperationContext context;
    Signed result;
    context.setLogLevel(BLSLogLevelInfo);
    context.setLogFunction([&](BLSLogLevel level, const std::string& message) {
        const std::string prefix = "String to sign = ";
        if (level == BLSLogLevelInfo && message.starts_with(prefix)) {
            result.stringToSign = message.substr(prefix.size());
        }
    });
    result.error = handler.signRequest(request, context, kSigningTime);
    return result;
}

std::string header(const URLRequest& request, const char* name) {
    const std::string* value = request.valueForHTTPHeaderField(name);
    return value ? *value : "<absent>";
}

struct GoldenRequest {
    std::string method;
    std::string url;
    Headers headers;
};

// Runs golden/sign.py once on all the requests and returns its answers in
// the same order (an empty list when the script fails).
std::vector<platform::Value> runGoldenSigner(const std::vector<GoldenRequest>& requests) {
    platform::Value::Array descriptions;
    for (const GoldenRequest& request : requests) {
        platform::Value::Array headerList;
        for (const auto& [name, value] : request.headers) {
            platform::Value::Array pair;
            pair.emplace_back(name);
            pair.emplace_back(value);
            headerList.emplace_back(std::move(pair));
        }
        platform::Value::Dictionary fields;
        fields["method"] = request.method;
        fields["url"] = request.url;
        fields["headers"] = std::move(headerList);
        fields["account"] = "acct";
        fields["key"] = kKeyBase64;
        fields["time"] = static_cast<std::int64_t>(kFixedTime);
        descriptions.emplace_back(std::move(fields));
    }

    const auto input = testsupport::processRoot() / "golden-sign.json";
    {
        std::ofstream out(input);
        out << platform::Value(std::move(descriptions)).toJson();
    }
    std::string command = std::string("\"") + VEKMONT_PYTHON + "\" \"" + VEKMONT_STORAGE_TEST_DIR +
                          "/golden/sign.py\" < \"" + input.string() + "\"";
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        EXPECT_EQ(::pclose(pipe), 0) << command;
    }
    std::filesystem::remove(input);
    auto parsed = platform::Value::fromJson(output);
    EXPECT_TRUE(parsed && parsed->asArray()) << "golden signer said: " << output;
    if (!parsed || !parsed->asArray()) return {};
    return *parsed->asArray();
}

std::string field(const platform::Value& value, const char* key) {
    const platform::Value* member = value.find(key);
    return member && member->asString() ? *member->asString() : "<absent>";
}

}  // namespace

TEST(StorageCredentials, KindsOfCredentials) {
    auto key = sharedKey();
    EXPECT_TRUE(key->isSharedKey());
    EXPECT_FALSE(key->isSAS());
    EXPECT_EQ(key->accountName(), "acct");
    ASSERT_TRUE(key->accountKey());
    EXPECT_EQ(key->accountKey()->size(), 32u);
    EXPECT_EQ((*key->accountKey())[31], 0x1f);
    ASSERT_TRUE(key->queryBuilder());
    EXPECT_TRUE(key->queryBuilder()->parameters().empty());

    BLSStorageCredentials broken("acct", "not base64!");
    EXPECT_FALSE(broken.isSharedKey());

    BLSStorageCredentials anonymous;
    EXPECT_FALSE(anonymous.isSharedKey());
    EXPECT_FALSE(anonymous.isSAS());
    EXPECT_EQ(anonymous.transformWithUri(url("https://acct.blob.example.net/c/b")),
              url("https://acct.blob.example.net/c/b"));
    EXPECT_EQ(key->transformWithUri(url("https://acct.blob.example.net/c/b")),
              url("https://acct.blob.example.net/c/b"));
}

TEST(StorageCredentials, SasTokenIsDecodedAndWrittenBackEncoded) {
    auto sas = BLSStorageCredentials::makeWithSASToken("?sv=2016-03-14&sig=ab%2Bc%2F%3D&se=2030-01-01T00%3A00%3A00Z");
    EXPECT_TRUE(sas->isSAS());
    EXPECT_FALSE(sas->isSharedKey());
    EXPECT_FALSE(sas->accountName());
    ASSERT_TRUE(sas->queryBuilder());
    EXPECT_EQ(sas->queryBuilder()->parameters(), (std::map<std::string, std::string>{
                                                     {"api-version", "2016-03-14"},
                                                     {"se", "2030-01-01T00:00:00Z"},
                                                     {"sig", "ab+c/="},
                                                     {"sv", "2016-03-14"},
                                                 }));
    EXPECT_EQ(sas->transformWithUri(url("https://acct.blob.example.net/c/b")),
              url("https://acct.blob.example.net/c/b?api-version=2016-03-14&se=2030-01-01T00%3A00%3A00Z"
                  "&sig=ab%2Bc%2F%3D&sv=2016-03-14"));

    BLSStorageUri both(url("https://acct.blob.example.net/c"), std::nullopt);
    auto transformed = sas->transformWithStorageUri(both);
    ASSERT_TRUE(transformed);
    ASSERT_TRUE(transformed->primaryUri());
    EXPECT_TRUE(
        transformed->primaryUri()->absoluteString().starts_with("https://acct.blob.example.net/c?api-version="));
    EXPECT_FALSE(transformed->secondaryUri());
    EXPECT_FALSE(sas->transformWithStorageUri(std::nullopt));

    auto named = BLSStorageCredentials::makeWithSASToken("sv=1&sig=2", std::string("acct"));
    EXPECT_EQ(named->accountName(), "acct");
}

TEST(SharedKeySigning, StringToSignOfTheDocumentedCases) {
    struct Case {
        const char* name;
        const char* method;
        const char* url;
        Headers headers;
        std::string expected;  // what was signed, "x-bs-date" included
    };
    const std::string empty12 = "\n\n\n\n\n\n\n\n\n\n\n";  // lines 2 to 12 without values
    const std::string date = "x-bs-date:Sat, 01 Jan 2000 00:00:00 GMT\n";
    const Case cases[] = {
        {"block of 4 MiB",
         "PUT",
         "https://acct.blob.example.net/layouts/plan.vkm?comp=block&blockid=QkxPQ0stMDAwMDA%3D",
         {{"Content-Length", "4194304"},
          {"x-bs-version", "2016-03-14"},
          {"x-bs-client-request-id", "6F2B4A86-1C1D-4E37-9A5B-2C1E4E0F7A10"}},
         "PUT\n\n\n4194304\n\n\n\n\n\n\n\n\n"
         "x-bs-client-request-id:6F2B4A86-1C1D-4E37-9A5B-2C1E4E0F7A10\n" +
             date + "x-bs-version:2016-03-14\n/acct/layouts/plan.vkm\nblockid:QkxPQ0stMDAwMDA=\ncomp:block"},
        {"zero length is an empty line",
         "PUT",
         "https://acct.blob.example.net/layouts/empty.vkm",
         {{"Content-Length", "0"}, {"Content-Type", "text/plain"}},
         "PUT\n\n\n\n\ntext/plain\n\n\n\n\n\n\n" + date + "/acct/layouts/empty.vkm"},
        {"comp before restype",
         "GET",
         "https://acct.blob.example.net/layouts?restype=container&comp=list",
         {},
         "GET" + empty12 + "\n" + date + "/acct/layouts\ncomp:list\nrestype:container"},
        {"empty path",
         "GET",
         "https://acct.blob.example.net?comp=list",
         {},
         "GET" + empty12 + "\n" + date + "/acct/\ncomp:list"},
        {"other letter cases are no canonical headers",
         "HEAD",
         "https://acct.blob.example.net/c/b",
         {{"X-BS-Meta-Upper", "1"}, {"x-bs-Meta-Mixed", "2"}, {"X-bs-version", "3"}},
         "HEAD" + empty12 + "\n" + "x-bs-date:Sat, 01 Jan 2000 00:00:00 GMT\nx-bs-meta-mixed:2\n/acct/c/b"},
        {"white space becomes blanks, not collapsed",
         "PUT",
         "https://acct.blob.example.net/c?restype=container",
         {{"x-bs-meta-note", " a\tb  c "},
          {"x-bs-meta-city",
           "Z\xC3\xBCrich\xC2\xA0"
           "Nord"}},
         "PUT" + empty12 + "\n" + date +
             "x-bs-meta-city:Z\xC3\xBCrich Nord\nx-bs-meta-note: a b  c \n/acct/c\n"
             "restype:container"},
        {"standard headers in their lines",
         "GET",
         "https://acct.blob.example.net/c/b",
         {{"Range", "bytes=0-511"},
          {"If-Match", "\"0x8D3\""},
          {"If-None-Match", "*"},
          {"If-Modified-Since", "Fri, 31 Dec 1999 00:00:00 GMT"},
          {"If-Unmodified-Since", "Sat, 01 Jan 2000 00:00:00 GMT"},
          {"Content-MD5", "1B2M2Y8AsgTpgAmY7PhCfg=="},
          {"Content-Encoding", "gzip"},
          {"Content-Language", "de-CH"},
          {"Date", "ignored"}},
         "GET\ngzip\nde-CH\n\n1B2M2Y8AsgTpgAmY7PhCfg==\n\n\nFri, 31 Dec 1999 00:00:00 GMT\n\"0x8D3\"\n*\n"
         "Sat, 01 Jan 2000 00:00:00 GMT\nbytes=0-511\n" +
             date + "/acct/c/b"},
        {"query keys lower-cased, values kept, later key wins",
         "GET",
         "https://acct.blob.example.net/c?Comp=List&RESTYPE=container&restype=Container2",
         {},
         "GET" + empty12 + "\n" + date + "/acct/c\ncomp:List\nrestype:Container2"},
    };
    for (const Case& c : cases) {
        URLRequest request = makeRequest(c.method, c.url, c.headers);
        Signed result = signAtFixedTime(request);
        EXPECT_FALSE(result.error) << c.name;
        EXPECT_EQ(result.stringToSign, c.expected) << c.name;
    }
}

TEST(SharedKeySigning, EncodedDelimitersStayInsideTheirValue) {
    // The query is split as written and decoded afterwards, so "%26" and
    // "%3D" in a prefix are part of the prefix.
    URLRequest request = makeRequest(
        "GET", "https://acct.blob.example.net/layouts?restype=container&comp=list&prefix=a%26b%3Dc&marker=2%211%21MDAw",
        {{"x-bs-version", "2016-03-14"}});
    Signed result = signAtFixedTime(request);
    ASSERT_FALSE(result.error);
    EXPECT_EQ(result.stringToSign,
              "GET\n\n\n\n\n\n\n\n\n\n\n\nx-bs-date:Sat, 01 Jan 2000 00:00:00 GMT\nx-bs-version:2016-03-14\n"
              "/acct/layouts\ncomp:list\nmarker:2!1!MDAw\nprefix:a&b=c\nrestype:container");
    // printf '%s' "<the text above>" | openssl dgst -sha256 -mac HMAC -macopt hexkey:000102...1f -binary | base64
    EXPECT_EQ(header(request, "Authorization"), "SharedKey acct:qaJbzgD+XzRKeOnCr4ERHCmUiU5bE8CbZAh3bBg+LIo=");
}

TEST(SharedKeySigning, FixedSignatures) {
    // printf '%s' $'PUT\n\n\n4194304\n\n\n\n\n\n\n\n\nx-bs-client-request-id:6F2B4A86-1C1D-4E37-9A5B-2C1E4E0F7A10\n
    //   x-bs-date:Sat, 01 Jan 2000 00:00:00 GMT\nx-bs-version:2016-03-14\n/acct/layouts/plan.vkm\n
    //   blockid:QkxPQ0stMDAwMDA=\ncomp:block' (one line)
    //   | openssl dgst -sha256 -mac HMAC -macopt hexkey:000102...1f -binary | base64
    URLRequest block =
        makeRequest("PUT", "https://acct.blob.example.net/layouts/plan.vkm?comp=block&blockid=QkxPQ0stMDAwMDA%3D",
                    {{"Content-Length", "4194304"},
                     {"x-bs-version", "2016-03-14"},
                     {"x-bs-client-request-id", "6F2B4A86-1C1D-4E37-9A5B-2C1E4E0F7A10"}});
    ASSERT_FALSE(signAtFixedTime(block).error);
    EXPECT_EQ(header(block, "x-bs-date"), "Sat, 01 Jan 2000 00:00:00 GMT");
    EXPECT_EQ(header(block, "Authorization"), "SharedKey acct:UsPPGo4hVi6ydXBAyAkq87PaBZq1QGbazvXmVNLJe0k=");

    // printf '%s' $'GET\n\n\n\n\n\n\n\n\n\n\n\nx-bs-date:Sat, 01 Jan 2000 00:00:00 GMT\nx-bs-version:2016-03-14\n
    //   /acct/\ncomp:list' | openssl dgst -sha256 -mac HMAC -macopt hexkey:000102...1f -binary | base64
    URLRequest containers =
        makeRequest("GET", "https://acct.blob.example.net?comp=list", {{"x-bs-version", "2016-03-14"}});
    ASSERT_FALSE(signAtFixedTime(containers).error);
    EXPECT_EQ(header(containers, "Authorization"), "SharedKey acct:y9sF2ChI5t6JaGYucPBj+IpFXr0P7T4fntA8tHg5eKI=");
}

TEST(SharedKeySigning, QueryPieceWithoutEqualsIsNotSigned) {
    for (const char* address :
         {"https://acct.blob.example.net/c?comp=list&flag", "https://acct.blob.example.net/c?x"}) {
        URLRequest request = makeRequest("GET", address, {{"x-bs-version", "2016-03-14"}});
        BLSSharedKeyBlobAuthenticationHandler handler(sharedKey());
        BLSOperationContext context;
        std::optional<platform::Error> error;
        EXPECT_FALSE(handler.getStringToSignWithRequest(request, context, error)) << address;
        ASSERT_TRUE(error) << address;
        EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::InvalidArgumentOrState)) << address;

        request.setValue("SharedKey acct:stale", "Authorization");
        auto signError = handler.signRequest(request, context, kSigningTime);
        ASSERT_TRUE(signError) << address;
        EXPECT_TRUE(BLSIsError(*signError, BLSErrorCode::InvalidArgumentOrState)) << address;
        EXPECT_FALSE(request.headers.contains("Authorization")) << address;
    }
    // Empty pieces carry nothing and are passed over.
    URLRequest trailing = makeRequest("GET", "https://acct.blob.example.net/c?comp=list&&restype=container&", {});
    Signed result = signAtFixedTime(trailing);
    EXPECT_FALSE(result.error);
    EXPECT_TRUE(result.stringToSign.ends_with("/acct/c\ncomp:list\nrestype:container"));
}

TEST(SharedKeySigning, DateAndAuthorizationReplaceEarlierValues) {
    URLRequest request = makeRequest("GET", "https://acct.blob.example.net/c/b",
                                     {{"X-BS-Date", "Thu, 01 Jan 1970 00:00:00 GMT"}, {"Authorization", "old"}});
    Signed result = signAtFixedTime(request);
    ASSERT_FALSE(result.error);
    EXPECT_EQ(header(request, "x-bs-date"), "Sat, 01 Jan 2000 00:00:00 GMT");
    // The signer's own date is canonical whatever spelling it replaced.
    EXPECT_NE(result.stringToSign.find("\nx-bs-date:Sat, 01 Jan 2000 00:00:00 GMT\n"), std::string::npos);
    EXPECT_TRUE(header(request, "Authorization").starts_with("SharedKey acct:"));
    EXPECT_EQ(header(request, "Authorization").size(), std::string("SharedKey acct:").size() + 44);
    int dateFields = 0;
    for (const auto& [name, value] : request.headers) dateFields += name == "x-bs-date" || name == "X-BS-Date";
    EXPECT_EQ(dateFields, 1);
}

TEST(SharedKeySigning, TheDateComesFromTheSharedClock) {
    auto clock = std::make_shared<platform::VirtualClock>(kSigningTime + std::chrono::milliseconds(999));
    BLSSharedKeyBlobAuthenticationHandler handler(sharedKey());
    BLSOperationContext context;
    {
        platform::ScopedClock installed(clock);
        URLRequest request = makeRequest("GET", "https://acct.blob.example.net/c/b", {});
        EXPECT_FALSE(handler.signRequest(request, context));
        EXPECT_EQ(header(request, "x-bs-date"), "Sat, 01 Jan 2000 00:00:00 GMT");
        // The date moves with the clock.
        clock->advance(std::chrono::milliseconds(1));
        URLRequest next = makeRequest("GET", "https://acct.blob.example.net/c/b", {});
        EXPECT_FALSE(handler.signRequest(next, context));
        EXPECT_EQ(header(next, "x-bs-date"), "Sat, 01 Jan 2000 00:00:01 GMT");
    }
    URLRequest later = makeRequest("GET", "https://acct.blob.example.net/c/b", {});
    EXPECT_FALSE(handler.signRequest(later, context));
    EXPECT_NE(header(later, "x-bs-date"), "Sat, 01 Jan 2000 00:00:00 GMT");
    EXPECT_TRUE(header(later, "x-bs-date").ends_with(" GMT"));
}

TEST(SharedKeySigning, NoOpHandlerChangesNothing) {
    URLRequest request = makeRequest("GET", "https://acct.blob.example.net/c/b?sig=x", {{"x-bs-version", "1"}});
    BLSNoOpAuthenticationHandler handler;
    BLSOperationContext context;
    EXPECT_FALSE(handler.signRequest(request, context));
    EXPECT_EQ(request.headers.size(), 1u);
    EXPECT_FALSE(request.headers.contains("Authorization"));
}

TEST(SharedKeySigning, AgreesWithTheIndependentSigner) {
    struct Case {
        const char* name;
        std::string method;
        std::string url;
        Headers headers;
    };
    const std::string blob = "https://acct.blob.example.net/layouts/plan.vkm";
    const std::string container = "https://acct.blob.example.net/layouts";
    const Case cases[] = {
        {"put block",
         "PUT",
         blob + "?comp=block&blockid=QkxPQ0stMDAwMDA%3D",
         {{"Content-Length", "4194304"},
          {"Content-MD5", "nhB9nTcrtoJr2B01QqQZ1g=="},
          {"x-bs-version", "2016-03-14"},
          {"x-bs-client-request-id", "6F2B4A86-1C1D-4E37-9A5B-2C1E4E0F7A10"}}},
        {"put block list",
         "PUT",
         blob + "?comp=blocklist",
         {{"Content-Length", "112"},
          {"Content-Type", "application/xml"},
          {"x-bs-blob-content-type", "application/octet-stream"},
          {"x-bs-meta-author", "Anna"},
          {"x-bs-version", "2016-03-14"}}},
        {"get blob with range",
         "GET",
         blob,
         {{"Range", "bytes=0-511"}, {"x-bs-range-get-content-md5", "true"}, {"x-bs-version", "2016-03-14"}}},
        {"list blobs with prefix and marker",
         "GET",
         container + "?restype=container&comp=list&prefix=2016%2F03%20plans%2FZ%C3%BCrich&marker=2%211%21MDAwMDY0%21"
                     "&maxresults=100&include=metadata,snapshots&delimiter=%2F",
         {{"x-bs-version", "2016-03-14"}}},
        {"create container with metadata",
         "PUT",
         container + "?restype=container",
         {{"Content-Length", "0"},
          {"x-bs-meta-Owner", "Anna  Smith"},
          {"x-bs-meta-note", "a\tb"},
          {"x-bs-meta-city", "Z\xC3\xBCrich\xC2\xA0Nord"},
          {"x-bs-blob-public-access", "blob"},
          {"x-bs-version", "2016-03-14"}}},
        {"acquire lease",
         "PUT",
         blob + "?comp=lease",
         {{"x-bs-lease-action", "acquire"},
          {"x-bs-lease-duration", "60"},
          {"x-bs-proposed-lease-id", "1f0e6a36-7a5e-4a8b-9d51-44c1a6a2b0c9"},
          {"If-Match", "\"0x8D34B1C2D3E4F56\""},
          {"x-bs-version", "2016-03-14"}}},
        {"copy blob",
         "PUT",
         "https://acct.blob.example.net/layouts/copy.vkm",
         {{"Content-Length", "0"},
          {"x-bs-copy-source", blob + "?snapshot=2016-03-14T00%3A00%3A00.0000000Z"},
          {"If-None-Match", "*"},
          {"x-bs-version", "2016-03-14"}}},
        {"delete snapshot",
         "DELETE",
         blob + "?snapshot=2016-03-14T00%3A00%3A00.0000000Z",
         {{"If-Unmodified-Since", "Sat, 01 Jan 2000 00:00:00 GMT"},
          {"x-bs-lease-id", "1f0e6a36-7a5e-4a8b-9d51-44c1a6a2b0c9"},
          {"x-bs-version", "2016-03-14"}}},
        {"blob properties",
         "HEAD",
         blob,
         {{"If-Modified-Since", "Fri, 31 Dec 1999 23:59:59 GMT"}, {"x-bs-version", "2016-03-14"}}},
        {"empty block blob",
         "PUT",
         "https://acct.blob.example.net/layouts/empty.vkm",
         {{"Content-Length", "0"},
          {"Content-Encoding", "gzip"},
          {"Content-Language", "de-CH"},
          {"x-bs-blob-type", "BlockBlob"},
          {"x-bs-version", "2016-03-14"}}},
        {"list containers, empty path",
         "GET",
         "https://acct.blob.example.net?comp=list&include=metadata",
         {{"x-bs-version", "2016-03-14"}}},
        {"encoded & and = in a prefix",
         "GET",
         container + "?restype=container&comp=list&prefix=a%26b%3Dc",
         {{"x-bs-version", "2016-03-14"}}},
        {"mixed-case names",
         "GET",
         container + "?Comp=List&RESTYPE=container",
         {{"X-BS-Meta-Skipped", "1"}, {"x-bs-Meta-Kept", "2"}, {"x-bs-version", "2016-03-14"}}},
        {"page blob with sequence number",
         "PUT",
         blob + "?comp=properties",
         {{"Content-Length", "0"},
          {"x-bs-blob-content-length", "1024"},
          {"x-bs-sequence-number-action", "update"},
          {"x-bs-blob-sequence-number", "7"},
          {"x-bs-version", "2016-03-14"}}},
    };
    // The last request has a query piece without "=": both must refuse it.
    const GoldenRequest refused{"GET", container + "?restype=container&comp", {}};
    std::vector<GoldenRequest> requests;
    for (const Case& c : cases) requests.push_back({c.method, c.url, c.headers});
    requests.push_back(refused);
    std::vector<platform::Value> golden = runGoldenSigner(requests);
    ASSERT_EQ(golden.size(), requests.size());

    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        URLRequest request = makeRequest(c.method, c.url, c.headers);
        Signed result = signAtFixedTime(request);
        ASSERT_FALSE(result.error) << c.name;
        EXPECT_EQ(result.stringToSign, field(golden[i], "stringToSign")) << c.name;
        EXPECT_EQ(header(request, "Authorization"), field(golden[i], "authorization")) << c.name;
    }

    URLRequest refusedRequest = makeRequest(refused.method, refused.url, refused.headers);
    EXPECT_TRUE(signAtFixedTime(refusedRequest).error);
    EXPECT_NE(field(golden.back(), "error"), "<absent>");
}
