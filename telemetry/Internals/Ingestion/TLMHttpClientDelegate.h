#pragma once
// What the HTTP client tells the sender of a request.

#include "platform/net/URLRequest.h"

class TLMHttpClientDelegate {
public:
    virtual ~TLMHttpClientDelegate() = default;

    // Just before each attempt of a request goes out, on the client's queue.
    virtual void willSendHTTPRequestToURL(const platform::net::URL& url, const platform::net::HTTPHeaders& headers) {}
};
