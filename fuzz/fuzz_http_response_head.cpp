// Raw HTTP response heads from untrusted bytes, line by line as the
// transport hands them over: interim heads are dropped, and every head read
// (and the part of one that a dropped connection leaves) becomes a response
// that holds only fields a header may hold, one per name, with a status of
// three digits at most and a length that is the Content-Length field's.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/support/FuzzSupport.h"
#include "fuzz/support/HeadLines.h"
#include "platform/net/HTTPResponseHead.h"
#include "platform/net/URLRequest.h"

using fuzzsupport::Require;
using namespace platform::net;

namespace {

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

void Check(const HTTPURLResponse& response, std::size_t lines) {
    Require(response.statusCode >= 0 && response.statusCode <= 999, "a status has three digits at most");
    Require(response.headers.size() <= lines, "no more fields than lines");
    const auto& fields = response.headers.fields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        Require(isValidHeaderName(fields[i].first), "a field's name is a token");
        Require(isValidHeaderValue(fields[i].second), "a field's value holds no control character");
        for (std::size_t j = 0; j < i; ++j) Require(!SameName(fields[i].first, fields[j].first), "one field a name");
    }
    const std::string* length = response.valueForHTTPHeaderField("Content-Length");
    const auto expected = length ? parseContentLength(*length) : std::nullopt;
    Require(response.expectedContentLength == expected.value_or(-1), "the length is the Content-Length field's");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const URL url = *URL::parse("https://account.blob.core.vekmont-storage.net/layouts/a");
    HTTPResponseHeadReader head;
    std::size_t lines = 0;
    fuzzsupport::ForEachLine(data, size, [&](std::string_view line) {
        ++lines;
        if (!head.addLine(line)) return;
        if (!head.isInterim()) Check(head.response(url), lines);
        head.startOver();
        lines = 0;
    });
    Check(head.response(url), lines);
    return 0;
}
