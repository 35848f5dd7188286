#include "storage/BLSStorageXMLParserDelegate.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::span<const std::uint8_t> bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Records the callbacks as lines: "<name a=v", ">name", "'text'" (runs of
// text joined, since libxml2 may split them).
struct Recorder {
    std::vector<std::string> events;
    BLSStorageXMLParserDelegate delegate;

    Recorder() {
        delegate.parseBeginElement = [this](BLSStorageXMLParserDelegate&, const std::string& name,
                                            const BLSStorageXMLParserDelegate::Attributes& attributes) {
            std::string line = "<" + name;
            for (const auto& [key, value] : attributes) line += " " + key + "=" + value;
            events.push_back(line);
        };
        delegate.parseEndElement = [this](BLSStorageXMLParserDelegate&, const std::string& name) {
            events.push_back(">" + name);
        };
        delegate.foundCharacters = [this](BLSStorageXMLParserDelegate&, const std::string& text) {
            if (!events.empty() && events.back().front() == '\'') {
                events.back().pop_back();
                events.back() += text + "'";
            } else {
                events.push_back("'" + text + "'");
            }
        };
    }

    bool parse(const std::string& text) { return delegate.parse(bytes(text)); }
};

std::string nested(int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<e>";
    for (int i = 0; i < depth; ++i) text += "</e>";
    return text;
}

}  // namespace

TEST(XmlParserDelegate, DeliversElementsAttributesAndTextInDocumentOrder) {
    struct Case {
        const char* name;
        std::string document;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"elements with text and attributes",
         "<?xml version=\"1.0\" encoding=\"utf-8\"?><EnumerationResults ServiceEndpoint=\"http://h/\">"
         "<Name>one</Name><Empty/></EnumerationResults>",
         {"<EnumerationResults ServiceEndpoint=http://h/", "<Name", "'one'", ">Name", "<Empty", ">Empty",
          ">EnumerationResults"}},
        {"prefixed names stay as written, namespace declarations are plain attributes",
         "<x:Error xmlns:x=\"urn:a\"><x:Code>Busy</x:Code></x:Error>",
         {"<x:Error xmlns:x=urn:a", "<x:Code", "'Busy'", ">x:Code", ">x:Error"}},
        {"an undeclared prefix is no error without namespace processing",
         "<p:Code>c</p:Code>",
         {"<p:Code", "'c'", ">p:Code"}},
        {"predefined entities and character references become text",
         "<T>a&amp;b&lt;c&gt;&quot;&apos;&#xFC;&#252;</T>",
         {"<T", "'a&b<c>\"'\xC3\xBC\xC3\xBC'", ">T"}},
        {"CDATA arrives as text", "<T>x<![CDATA[<not an element> & ]]>y</T>", {"<T", "'x<not an element> & y'", ">T"}},
        {"whitespace between elements is text", "<A> <B/>\n</A>", {"<A", "' '", "<B", ">B", "'\n'", ">A"}},
        {"Latin-1 documents arrive as UTF-8",
         std::string("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><T>\xFC\xDF</T>"),
         {"<T", "'\xC3\xBC\xC3\x9F'", ">T"}},
        {"UTF-8 text passes unchanged",
         "<T>\xE2\x82\xAC \xF0\x9F\x98\x80</T>",
         {"<T", "'\xE2\x82\xAC \xF0\x9F\x98\x80'", ">T"}},
    };
    for (const Case& c : cases) {
        Recorder recorder;
        EXPECT_TRUE(recorder.parse(c.document)) << c.name;
        EXPECT_EQ(recorder.events, c.expected) << c.name;
    }
}

TEST(XmlParserDelegate, RefusesMalformedAndHostileDocuments) {
    struct Case {
        const char* name;
        std::string document;
    };
    const std::vector<Case> cases = {
        {"empty input", ""},
        {"plain text", "not xml at all"},
        {"unclosed element", "<a><b></b>"},
        {"mismatched end tag", "<a></b>"},
        {"two roots", "<a/><b/>"},
        {"truncated in a tag", "<EnumerationResults><Na"},
        {"undefined entity", "<a>&nothing;</a>"},
        {"invalid UTF-8", "<a>\xC3\x28</a>"},
        {"NUL byte in text", std::string("<a>x\0y</a>", 10)},
        {"control character", "<a>\x01</a>"},
        {"entity expansion bomb",
         "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">"
         "<!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">"
         "<!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">"
         "<!ENTITY lol4 \"&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;\">]>"
         "<lolz>&lol4;</lolz>"},
        {"external entity",
         "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><a>&x;</a>"},
        {"external DTD over the network", "<!DOCTYPE a SYSTEM \"http://127.0.0.1:1/x.dtd\"><a/>"},
        {"nesting one level too deep", nested(BLSStorageXMLParserDelegate::maximumDepth + 1)},
        {"nesting far too deep", nested(100000)},
    };
    for (const Case& c : cases) {
        Recorder recorder;
        EXPECT_FALSE(recorder.parse(c.document)) << c.name;
        for (const std::string& event : recorder.events) {
            EXPECT_EQ(event.find("root:"), std::string::npos) << c.name;
            EXPECT_EQ(event.find("lollollol"), std::string::npos) << c.name;
        }
    }
}

TEST(XmlParserDelegate, AcceptsNestingUpToTheLimit) {
    Recorder recorder;
    EXPECT_TRUE(recorder.parse(nested(BLSStorageXMLParserDelegate::maximumDepth)));
    EXPECT_EQ(recorder.events.size(), 2u * BLSStorageXMLParserDelegate::maximumDepth);
}

TEST(XmlParserDelegate, LongTextArrivesWhole) {
    // Larger than one feeding piece, with a multi-byte character on every
    // possible boundary.
    std::string text;
    while (text.size() < (3u << 20)) text += "ab\xC3\xBC\xE2\x82\xAC";
    Recorder recorder;
    ASSERT_TRUE(recorder.parse("<T>" + text + "</T>"));
    ASSERT_EQ(recorder.events.size(), 3u);
    EXPECT_TRUE(recorder.events[1] == "'" + text + "'");
}

TEST(XmlParserDelegate, AbortStopsCallbacksAndFailsTheParse) {
    Recorder recorder;
    auto record = recorder.delegate.parseBeginElement;
    recorder.delegate.parseBeginElement = [&](BLSStorageXMLParserDelegate& parser, const std::string& name,
                                              const BLSStorageXMLParserDelegate::Attributes& attributes) {
        record(parser, name, attributes);
        if (name == "Stop") parser.abortParsing();
    };
    EXPECT_FALSE(recorder.parse("<A><B>b</B><Stop>s</Stop><C>c</C></A>"));
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"<A", "<B", "'b'", ">B", "<Stop"}));

    // The same delegate parses the next document afresh.
    recorder.events.clear();
    EXPECT_TRUE(recorder.parse("<A><B/></A>"));
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"<A", "<B", ">B", ">A"}));

    // An abort outside a parse does not spoil the next one.
    recorder.delegate.abortParsing();
    EXPECT_TRUE(recorder.parse("<A/>"));
}

TEST(XmlParserDelegate, CallbackExceptionIsRethrownAndTheDelegateStaysUsable) {
    Recorder recorder;
    int calls = 0;
    recorder.delegate.parseEndElement = [&](BLSStorageXMLParserDelegate&, const std::string& name) {
        ++calls;
        if (name == "B") throw std::runtime_error("callback failed");
    };
    EXPECT_THROW(recorder.parse("<A><B/><C/></A>"), std::runtime_error);
    EXPECT_EQ(calls, 1);
    recorder.delegate.parseEndElement = [](BLSStorageXMLParserDelegate&, const std::string&) {};
    EXPECT_TRUE(recorder.parse("<A/>"));
}

TEST(XmlParserDelegate, MissingCallbackOrNestedParseFails) {
    Recorder missing;
    missing.delegate.foundCharacters = nullptr;
    EXPECT_FALSE(missing.parse("<A/>"));

    Recorder outer;
    bool innerResult = true;
    outer.delegate.parseEndElement = [&](BLSStorageXMLParserDelegate& parser, const std::string&) {
        innerResult = parser.parse(bytes("<B/>"));
    };
    EXPECT_TRUE(outer.parse("<A/>"));
    EXPECT_FALSE(innerResult);
}
