#pragma once
// Event-driven reading of the service's XML replies (libxml2's SAX
// interface underneath). Namespaces are not processed (names arrive as
// written, prefix included), entities are not substituted, a document type
// declaration is refused, the network is never touched, and nesting is
// bounded.

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>

class BLSStorageXMLParserDelegate {
public:
    using Attributes = std::map<std::string, std::string>;

    // Deepest element nesting accepted; one level more fails the parse.
    static constexpr int maximumDepth = 256;

    // All three must be set before parse().
    std::function<void(BLSStorageXMLParserDelegate& parser, const std::string& elementName,
                       const Attributes& attributes)>
        parseBeginElement;
    std::function<void(BLSStorageXMLParserDelegate& parser, const std::string& elementName)> parseEndElement;
    // UTF-8 text; one run of text may arrive in several pieces. CDATA
    // sections arrive here too.
    std::function<void(BLSStorageXMLParserDelegate& parser, const std::string& text)> foundCharacters;

    // Reads the whole document; false when a callback is missing, the
    // document is empty or not well-formed, nests deeper than maximumDepth,
    // carries a document type declaration, or a callback called
    // abortParsing(). An exception thrown by a callback stops the parse and
    // is rethrown from here. Calling parse() from inside a callback returns
    // false.
    bool parse(std::span<const std::uint8_t> data);
    // Stops the running parse(); no callback follows and parse() returns
    // false. Outside a parse it has no effect on the next one.
    void abortParsing();

private:
    bool mAborted = false;
    void* mParserContext = nullptr;  // the running libxml2 parser, if any
};
