#include "platform/net/URL.h"

#include <arpa/inet.h>

#include <cstdint>

namespace platform::net {

namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

bool isUnreserved(char c) { return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }

bool isSubDelim(char c) {
    switch (c) {
        case '!':
        case '$':
        case '&':
        case '\'':
        case '(':
        case ')':
        case '*':
        case '+':
        case ',':
        case ';':
        case '=': return true;
        default: return false;
    }
}

bool isPathChar(char c) { return isUnreserved(c) || isSubDelim(c) || c == ':' || c == '@' || c == '/'; }
bool isQueryChar(char c) { return isPathChar(c) || c == '?'; }
bool isRegNameChar(char c) { return isUnreserved(c) || isSubDelim(c); }
bool isUserInfoChar(char c) { return isUnreserved(c) || isSubDelim(c) || c == ':'; }

// True when every character of `text` passes `allowed` or starts a complete
// "%XX" escape.
template <typename Pred>
bool allEncoded(std::string_view text, Pred allowed) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) {
                return false;
            }
            i += 2;
        } else if (!allowed(c)) {
            return false;
        }
    }
    return true;
}

template <typename Pred>
std::string encode(std::string_view text, Pred allowed) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (allowed(c)) {
            out += c;
        } else {
            auto byte = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

bool isValidScheme(std::string_view scheme) {
    if (scheme.empty() || !isAlpha(scheme[0])) return false;
    for (char c : scheme) {
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

bool isValidIPv6(const std::string& literal) {
    in6_addr address{};
    return inet_pton(AF_INET6, literal.c_str(), &address) == 1;
}

}  // namespace

std::optional<std::string> percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) {
            return std::nullopt;
        }
        out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
        i += 2;
    }
    return out;
}

std::string percentEncodeUnreserved(std::string_view text) { return encode(text, isUnreserved); }

std::optional<URL> URL::parse(std::string_view text) {
    // Only the characters RFC 3986 allows anywhere in a URL; blanks, control
    // characters and bytes above ASCII must have been escaped by the caller.
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) return std::nullopt;
        if (!isUnreserved(c) && !isSubDelim(c) && c != '%' &&
            std::string_view(":/?#[]@").find(c) == std::string_view::npos) {
            return std::nullopt;
        }
    }

    URL url;
    url.mText = std::string(text);

    auto colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view scheme = text.substr(0, colon);
    if (!isValidScheme(scheme)) return std::nullopt;
    url.mScheme = std::string(scheme);
    std::string_view rest = text.substr(colon + 1);

    // Fragment and query first: neither may hold '#' or brackets.
    if (auto hash = rest.find('#'); hash != std::string_view::npos) {
        std::string_view fragment = rest.substr(hash + 1);
        if (!allEncoded(fragment, isQueryChar)) return std::nullopt;
        url.mFragment = std::string(fragment);
        rest = rest.substr(0, hash);
    }
    if (auto question = rest.find('?'); question != std::string_view::npos) {
        std::string_view query = rest.substr(question + 1);
        if (!allEncoded(query, isQueryChar)) return std::nullopt;
        url.mQuery = std::string(query);
        rest = rest.substr(0, question);
    }

    if (rest.starts_with("//")) {
        url.mHasAuthority = true;
        rest = rest.substr(2);
        auto slash = rest.find('/');
        std::string_view authority = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);

        if (auto at = authority.find('@'); at != std::string_view::npos) {
            std::string_view userInfo = authority.substr(0, at);
            authority = authority.substr(at + 1);
            if (!allEncoded(userInfo, isUserInfoChar)) return std::nullopt;  // also refuses a second '@'
            auto separator = userInfo.find(':');
            auto user = percentDecode(userInfo.substr(0, separator));
            if (!user) return std::nullopt;
            url.mUser = std::move(*user);
            if (separator != std::string_view::npos) {
                auto password = percentDecode(userInfo.substr(separator + 1));
                if (!password) return std::nullopt;
                url.mPassword = std::move(*password);
            }
        }

        std::string_view portText;
        bool hasPortSeparator = false;
        if (authority.starts_with('[')) {
            auto close = authority.find(']');
            if (close == std::string_view::npos) return std::nullopt;
            std::string literal(authority.substr(1, close - 1));
            if (!isValidIPv6(literal)) return std::nullopt;
            url.mHost = std::move(literal);
            std::string_view after = authority.substr(close + 1);
            if (!after.empty()) {
                if (after[0] != ':') return std::nullopt;
                hasPortSeparator = true;
                portText = after.substr(1);
            }
        } else {
            auto separator = authority.find(':');
            std::string_view host = authority.substr(0, separator);
            if (separator != std::string_view::npos) {
                hasPortSeparator = true;
                portText = authority.substr(separator + 1);
            }
            if (!allEncoded(host, isRegNameChar)) return std::nullopt;
            auto decoded = percentDecode(host);
            if (!decoded) return std::nullopt;
            url.mHost = std::move(*decoded);
        }

        // "host:" with no digits is allowed and means no port.
        if (hasPortSeparator && !portText.empty()) {
            long value = 0;
            for (char c : portText) {
                if (!isDigit(c)) return std::nullopt;
                value = value * 10 + (c - '0');
                if (value > 65535) return std::nullopt;
            }
            url.mPort = static_cast<int>(value);
        }
    }

    if (!allEncoded(rest, isPathChar)) return std::nullopt;
    url.mPath = std::string(rest);
    return url;
}

std::string URL::path() const {
    auto decoded = percentDecode(mPath);
    return decoded ? *decoded : mPath;
}

std::vector<std::string> URL::pathComponents() const {
    std::vector<std::string> components;
    if (mPath.empty()) return components;
    if (mPath.front() == '/') components.emplace_back("/");
    // Split before decoding so that an escaped "/" (%2F) stays inside its
    // segment; empty segments ("a//b", a trailing "/") are dropped.
    std::size_t start = 0;
    while (start <= mPath.size()) {
        auto end = mPath.find('/', start);
        if (end == std::string::npos) end = mPath.size();
        if (end > start) {
            std::string_view segment(mPath.data() + start, end - start);
            auto decoded = percentDecode(segment);
            components.emplace_back(decoded ? *decoded : std::string(segment));
        }
        start = end + 1;
    }
    return components;
}

URLComponents::URLComponents(const URL& url)
    : scheme(url.mScheme),
      user(url.mUser),
      password(url.mPassword),
      host(url.mHost),
      port(url.mPort),
      mPath(url.mPath),
      mQuery(url.mQuery),
      mFragment(url.mFragment),
      mHasAuthority(url.mHasAuthority) {}

std::string URLComponents::path() const {
    auto decoded = percentDecode(mPath);
    return decoded ? *decoded : mPath;
}

void URLComponents::setPath(std::string_view decoded) { mPath = encode(decoded, isPathChar); }

std::optional<URL> URLComponents::url() const {
    std::string text = scheme + ":";
    bool authority = mHasAuthority || !host.empty() || !user.empty() || !password.empty() || port.has_value();
    if (authority) {
        text += "//";
        if (!user.empty() || !password.empty()) {
            text += encode(user, isRegNameChar);
            if (!password.empty()) {
                text += ':';
                text += encode(password, isUserInfoChar);
            }
            text += '@';
        }
        if (host.find(':') != std::string::npos && !host.starts_with('[')) {
            text += '[' + host + ']';
        } else if (host.starts_with('[')) {
            text += host;
        } else {
            text += encode(host, isRegNameChar);
        }
        if (port) {
            if (*port < 0 || *port > 65535) return std::nullopt;
            text += ':' + std::to_string(*port);
        }
        // A path after an authority is empty or absolute.
        if (!mPath.empty() && mPath.front() != '/') return std::nullopt;
    } else if (mPath.starts_with("//")) {
        return std::nullopt;  // would read back as an authority
    }
    text += mPath;
    if (mQuery) text += '?' + *mQuery;
    if (mFragment) text += '#' + *mFragment;
    // Parsing checks the parts that are taken as written (scheme, the
    // percent-encoded path, query and fragment).
    return URL::parse(text);
}

}  // namespace platform::net
