#pragma once
// The head of an HTTP/1.x response read line by line as the transport hands
// the lines over: "HTTP/1.1 200 OK", "Name: value" fields, a blank line. The
// lines come from the network and are trusted in nothing.

#include "platform/net/URLRequest.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::net {

// A Content-Length value: decimal digits with blanks around them; nullopt
// for anything else and for more than 18 digits, so it never overflows.
std::optional<std::int64_t> parseContentLength(std::string_view text);

class HTTPResponseHeadReader {
public:
    // Takes one line, with or without its line break. True when it was the
    // blank line that ends a head; the head is then read whole. A status
    // line begins a head afresh; its code is the three characters after the
    // first blank, 0 when they are not digits. A line without ":" is
    // ignored; a line starting with a blank continues the last field.
    bool addLine(std::string_view line);

    int statusCode() const { return mStatusCode; }
    // The transport's own reading of the status, when it has one.
    void setStatusCode(int statusCode) { mStatusCode = statusCode; }
    // A 1xx head, which the final head follows.
    bool isInterim() const { return mStatusCode >= 100 && mStatusCode < 200; }

    // The head read so far as the response from `url`: repeated fields are
    // joined with ",", a field whose name or value no header may hold is
    // left out, and the expected length is a valid Content-Length or -1.
    HTTPURLResponse response(const URL& url) const;

    // Forgets the head, for the next one.
    void startOver();

private:
    int mStatusCode = 0;
    std::vector<std::pair<std::string, std::string>> mFields;
};

}  // namespace platform::net
