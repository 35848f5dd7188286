#pragma once
// Absolute URLs (RFC 3986) and a mutable form to build them from parts.
// Paths and queries are kept in their percent-encoded form; accessors that
// return decoded text say so.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::net {

// Percent-decoding; nullopt when an escape is malformed ("%4", "%zz").
// "+" stays "+".
std::optional<std::string> percentDecode(std::string_view text);
// Every byte outside the unreserved characters (letters, digits, "-", ".",
// "_", "~") as "%XX": a query key or value that can add no parameter.
std::string percentEncodeUnreserved(std::string_view text);

class URL {
public:
    // An absolute URL with a scheme ("https://host:port/path?query#frag").
    // Refuses text with blanks, control characters, bytes above ASCII, any
    // other character RFC 3986 does not allow, a malformed "%" escape or a
    // malformed authority (a port that is not a number below 65536, an IPv6
    // literal that does not parse, a second "@"). "host:" with no digits
    // means no port. IPv6 hosts keep their brackets in absoluteString() and
    // drop them in host(). The text is kept as given: no case folding, no
    // removal of "." segments.
    static std::optional<URL> parse(std::string_view text);

    const std::string& absoluteString() const { return mText; }
    const std::string& scheme() const { return mScheme; }
    // User, password and host are decoded.
    const std::string& user() const { return mUser; }
    const std::string& password() const { return mPassword; }
    const std::string& host() const { return mHost; }  // may be empty
    std::optional<int> port() const { return mPort; }
    const std::string& percentEncodedPath() const { return mPath; }
    std::string path() const;  // decoded; a trailing "/" is kept
    // "/" (when the path starts with one) then each decoded segment; empty
    // segments are skipped, so "/a/b/" and "/a//b" give {"/", "a", "b"}.
    // Segments are split before decoding: "/a%2Fb" gives {"/", "a/b"}.
    // Empty for an empty path.
    std::vector<std::string> pathComponents() const;
    // Text after "?" as written (percent-encoded); nullopt without "?".
    const std::optional<std::string>& query() const { return mQuery; }
    const std::optional<std::string>& fragment() const { return mFragment; }

    bool operator==(const URL& other) const { return mText == other.mText; }

private:
    friend class URLComponents;
    std::string mText;
    std::string mScheme, mUser, mPassword, mHost;
    bool mHasAuthority = false;
    std::optional<int> mPort;
    std::string mPath;
    std::optional<std::string> mQuery, mFragment;
};

// The parts of a URL, changed one by one and written back with url().
class URLComponents {
public:
    URLComponents() = default;
    explicit URLComponents(const URL& url);

    // User, password and host are decoded text; url() escapes them. A host
    // holding ":" is an IPv6 literal and is written in brackets.
    std::string scheme, user, password, host;
    std::optional<int> port;

    // The decoded path. setPath escapes every byte outside the unreserved
    // characters, the sub-delimiters, ":", "@" and "/" (so " " becomes "%20",
    // "%" becomes "%25", "?" and "#" are escaped, "/" stays a separator).
    std::string path() const;
    void setPath(std::string_view decoded);
    const std::string& percentEncodedPath() const { return mPath; }
    void setPercentEncodedPath(std::string encoded) { mPath = std::move(encoded); }

    const std::optional<std::string>& percentEncodedQuery() const { return mQuery; }
    void setPercentEncodedQuery(std::optional<std::string> query) { mQuery = std::move(query); }

    const std::optional<std::string>& percentEncodedFragment() const { return mFragment; }
    void setPercentEncodedFragment(std::optional<std::string> f) { mFragment = std::move(f); }

    // scheme ":" ["//" [user[":"password]"@"] host [":"port]] path ["?"query]
    // ["#"fragment]; nullopt when the parts do not make a valid absolute URL
    // (bad scheme, a relative path after a host, blanks in the query...).
    std::optional<URL> url() const;

private:
    std::string mPath;
    std::optional<std::string> mQuery, mFragment;
    // "//" is written when the source URL had an authority ("file:///x"),
    // when any authority part is set, and always for components built from
    // nothing; only a URL such as "mailto:a@b" keeps its form without it.
    bool mHasAuthority = true;
};

}  // namespace platform::net
