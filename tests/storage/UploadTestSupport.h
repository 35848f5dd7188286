#pragma once
// Shared pieces of the upload tests (helper, output stream, block blob): the
// chunk size, the block-ID decoding and checks, body MD5s and a fixture with
// an empty container "uploads", all independent of the code under test.

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Stream.h"
#include "platform/security/Crypto.h"
#include "storage/BLSRequestOptions.h"
#include "tests/storage/support/StorageTestSupport.h"

#include <algorithm>
#include <regex>

namespace uploadtest {

using namespace storagetest;

constexpr std::size_t kChunk = 4194304;

inline std::string percentDecode(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// The "blockid" query value of a Put Block, percent-decoded (still base64).
inline std::string blockIdOf(const RecordedRequest& request) {
    std::string query = "&" + request.query;
    auto at = query.find("&blockid=");
    if (at == std::string::npos) return {};
    auto start = at + 9;
    auto end = query.find('&', start);
    return percentDecode(query.substr(start, end == std::string::npos ? std::string::npos : end - start));
}

// True when `id` is base64 of "blockid" and 32 lower-case hex digits.
inline bool isHelperBlockId(const std::string& id) {
    if (id.size() != 52) return false;
    auto decoded = platform::security::base64Decode(id);
    if (!decoded) return false;
    std::string text(decoded->begin(), decoded->end());
    static const std::regex pattern("blockid[0-9a-f]{32}");
    return std::regex_match(text, pattern);
}

inline std::string base64Md5(const Bytes& bytes) {
    auto digest = platform::security::md5(bytes);
    return platform::security::base64Encode(digest);
}

// The server fixture with the container "uploads".
class UploadServerTest : public StorageServerTest {
protected:
    void SetUp() override {
        StorageServerTest::SetUp();
        if (HasFatalFailure()) return;
        freshContainer();
    }

    // Empties the server (state, log, stats, faults) and creates "uploads".
    void freshContainer() {
        server.reset();
        // Makes the container without an entry in the request log.
        server.preloadBlob("uploads", "placeholder", {});
        container = client->containerReferenceFromName("uploads");
    }

    // Options that allow `factor` uploads at a time.
    static std::shared_ptr<BLSBlobRequestOptions> optionsWithParallelism(std::int64_t factor) {
        auto options = std::make_shared<BLSBlobRequestOptions>();
        options->setParallelismFactor(factor);
        return options;
    }

    std::shared_ptr<BLSCloudBlobContainer> container;
};

}  // namespace uploadtest
