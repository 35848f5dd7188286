// The ordered dictionary: first-insertion order in enumeration, equality
// and JSON; copies that do not share.

#include "telemetry/core/Util/TLMOrderedDictionary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

TEST(TLMOrderedDictionary, KeepsFirstInsertionOrder) {
    TLMOrderedDictionary dictionary(4);
    dictionary.setObject("first b", "b");
    dictionary.setObject(1, "a");
    dictionary.setObject("second b", "b");
    EXPECT_EQ(dictionary.keyEnumerator(), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(dictionary.count(), 2u);
    ASSERT_NE(dictionary.objectForKey("b"), nullptr);
    EXPECT_EQ(*dictionary.objectForKey("b")->asString(), "second b");
    EXPECT_EQ(dictionary.objectForKey("c"), nullptr);
    EXPECT_EQ(dictionary.jsonText(false), R"({"b":"second b","a":1})");

    // A copy is a dictionary of its own.
    TLMOrderedDictionary copy = dictionary;
    copy.setObject(true, "c");
    EXPECT_EQ(dictionary.count(), 2u);
    EXPECT_EQ(copy.order(), (std::vector<std::string>{"b", "a", "c"}));

    dictionary.removeAllObjects();
    EXPECT_EQ(dictionary.count(), 0u);
    EXPECT_TRUE(dictionary.keyEnumerator().empty());
    EXPECT_TRUE(dictionary.dictionary().empty());
    dictionary.setObject(2, "a");
    dictionary.setObject(3, "b");
    EXPECT_EQ(dictionary.order(), (std::vector<std::string>{"a", "b"}));
}

TEST(TLMOrderedDictionary, EqualOnlyWithTheSamePairsInTheSameOrder) {
    TLMOrderedDictionary ab;
    ab.setObject(1, "a");
    ab.setObject(2, "b");
    TLMOrderedDictionary ba;
    ba.setObject(2, "b");
    ba.setObject(1, "a");
    EXPECT_EQ(ab.dictionary(), ba.dictionary());
    EXPECT_FALSE(ab.isEqualToDictionary(ba));
    TLMOrderedDictionary same;
    same.setObject(1, "a");
    same.setObject(2, "b");
    EXPECT_TRUE(ab.isEqualToDictionary(same));
    same.setObject(3, "b");
    EXPECT_FALSE(ab.isEqualToDictionary(same));
    // Nested dictionaries compare by their order too.
    TLMOrderedDictionary outerAb;
    outerAb.setObject(ab, "x");
    TLMOrderedDictionary outerBa;
    outerBa.setObject(ba, "x");
    EXPECT_FALSE(outerAb == outerBa);
}

TEST(TLMOrderedDictionary, JsonOfEveryKind) {
    TLMOrderedDictionary inner;
    inner.setObject(TLMJsonValue(), "null");
    inner.setObject(std::vector<std::string>{"a/b", "\"q\"", "\xC3\xA9", std::string("\x01", 1)}, "texts");
    TLMOrderedDictionary dictionary;
    dictionary.setObject(-0.5, "real");
    dictionary.setObject(std::numeric_limits<std::int64_t>::min(), "integer");
    // A processor subtype with its top bits set, as the crash records carry it.
    dictionary.setObject(std::uint64_t{0xFFFFFFFF80000002}, "unsigned");
    dictionary.setObject(false, "flag");
    dictionary.setObject(inner, "inner");
    dictionary.setObject(std::map<std::string, std::string>{{"z", "1"}, {"a", "2"}}, "texts");
    dictionary.setObject(TLMJsonValue::Array{}, "empty");
    EXPECT_EQ(dictionary.jsonText(false),
              R"({"real":-0.5,"integer":-9223372036854775808,"unsigned":18446744071562067970,"flag":false,)"
              R"("inner":{"null":null,"texts":["a/b","\"q\"","é","\u0001"]},"texts":{"a":"2","z":"1"},"empty":[]})");
    EXPECT_EQ(TLMOrderedDictionary().jsonText(true), "{}");

    std::string error;
    TLMOrderedDictionary notFinite;
    notFinite.setObject(std::nan(""), "x");
    EXPECT_FALSE(notFinite.jsonText(false, &error));
    EXPECT_EQ(error, "a number is not finite");
    TLMOrderedDictionary badKey;
    badKey.setObject(1, "\xC3");
    EXPECT_FALSE(badKey.jsonText(false, &error));
    EXPECT_EQ(error, "a text is not UTF-8");
}
