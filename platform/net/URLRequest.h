#pragma once
// An HTTP request ready to send and the head of an HTTP response.

#include "platform/net/URL.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace platform {
class InputStream;
}

namespace platform::net {

// Thrown when a header name is not an HTTP token or a value holds a control
// character (CR and LF above all): such a header must never reach the wire.
class InvalidHeaderError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// True for a valid header name (an RFC 7230 token) / a value without control
// characters other than horizontal tab.
bool isValidHeaderName(std::string_view name);
bool isValidHeaderValue(std::string_view value);

// Header fields in the order they were first set. Names compare without
// regard to case; a field keeps the spelling it was first set with.
class HTTPHeaders {
public:
    using Field = std::pair<std::string, std::string>;

    // Replaces the value of the field (adds it when absent). Throws
    // InvalidHeaderError for an invalid name or value.
    void set(std::string_view name, std::string_view value);
    // Adds to the field: a field that holds a value ends up with both joined
    // by ",". Throws InvalidHeaderError as set() does.
    void add(std::string_view name, std::string_view value);
    void remove(std::string_view name);
    // The value, or nullptr when the field is absent.
    const std::string* get(std::string_view name) const;
    bool contains(std::string_view name) const { return get(name) != nullptr; }

    const std::vector<Field>& fields() const { return mFields; }
    std::size_t size() const { return mFields.size(); }
    bool empty() const { return mFields.empty(); }
    auto begin() const { return mFields.begin(); }
    auto end() const { return mFields.end(); }

private:
    std::vector<Field> mFields;
};

enum class URLRequestCachePolicy { UseProtocolCachePolicy, ReloadIgnoringLocalCacheData };

struct URLRequest {
    URLRequest() = default;
    explicit URLRequest(URL u) : url(std::move(u)) {}

    URL url;
    std::string httpMethod = "GET";
    HTTPHeaders headers;
    std::vector<std::uint8_t> httpBody;
    // A body read while sending, in place of httpBody.
    std::shared_ptr<InputStream> httpBodyStream;
    double timeoutInterval = 60.0;  // seconds without progress
    URLRequestCachePolicy cachePolicy = URLRequestCachePolicy::UseProtocolCachePolicy;

    void setValue(std::string_view value, std::string_view field) { headers.set(field, value); }
    void addValue(std::string_view value, std::string_view field) { headers.add(field, value); }
    const std::string* valueForHTTPHeaderField(std::string_view field) const { return headers.get(field); }
};

struct HTTPURLResponse {
    URL url;
    int statusCode = 0;
    HTTPHeaders headers;  // as received; repeated fields joined by ","
    // "Content-Length" when the response gives one, else -1.
    std::int64_t expectedContentLength = -1;

    const std::string* valueForHTTPHeaderField(std::string_view field) const { return headers.get(field); }
};

}  // namespace platform::net
