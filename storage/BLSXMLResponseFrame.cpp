#include "storage/BLSXMLResponseFrame.h"

#include "platform/foundation/AsciiText.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSStorageXMLParserDelegate.h"

#include <charconv>

BLSXMLResponseFrame::BLSXMLResponseFrame(BLSOperationContext& operationContext, std::size_t stackCapacity)
    : mOperationContext(operationContext) {
    mStack.reserve(stackCapacity);
}

void BLSXMLResponseFrame::fail(std::optional<platform::Error> error) {
    if (!mFailed && error) mFailure = std::move(error);
    mFailed = true;
    if (mParser != nullptr) mParser->abortParsing();
}

bool BLSXMLResponseFrame::run(std::span<const std::uint8_t> data, const BeginHandler& onBegin,
                              const EndHandler& onEnd) {
    static const std::string kNoParent;
    BLSStorageXMLParserDelegate parser;
    parser.parseBeginElement = [&](BLSStorageXMLParserDelegate&, const std::string& name,
                                   const BLSStorageXMLParserDelegate::Attributes&) {
        mOperationContext.logAtLevel(BLSLogLevelDebug,
                                     [&] { return "Beginning to parse element with name = " + name; });
        const std::string& parent = mStack.empty() ? kNoParent : mStack.back();
        if (onBegin) onBegin(*this, parent, name);
        mStack.push_back(name);
        // Text between elements belongs to no value.
        mBuffer.clear();
    };
    parser.foundCharacters = [&](BLSStorageXMLParserDelegate&, const std::string& text) {
        mOperationContext.logAtLevel(BLSLogLevelDebug, [&] { return "Found characters = " + text; });
        mBuffer += text;
    };
    parser.parseEndElement = [&](BLSStorageXMLParserDelegate& p, const std::string& name) {
        mOperationContext.logAtLevel(BLSLogLevelDebug, [&] { return "Ending to parse element with name = " + name; });
        if (mStack.empty() || mStack.back() != name) {
            p.abortParsing();
            return;
        }
        mStack.pop_back();
        const std::string& parent = mStack.empty() ? kNoParent : mStack.back();
        if (onEnd(*this, parent, name, mBuffer)) mBuffer.clear();
    };

    mParser = &parser;
    const bool parsed = parser.parse(data);
    mParser = nullptr;
    return parsed && !mFailed;
}

namespace {

// White space as XML has it: space, tab, carriage return and line feed.
constexpr std::string_view kXmlWhitespace = " \t\r\n";

template <typename Integer>
std::optional<Integer> readInteger(std::string_view text) {
    text = platform::ascii::trimmed(text, kXmlWhitespace);
    if (text.empty()) return std::nullopt;
    Integer value{};
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (status != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::int64_t> BLSReadInt64(std::string_view text) { return readInteger<std::int64_t>(text); }

std::optional<std::int32_t> BLSReadInt32(std::string_view text) { return readInteger<std::int32_t>(text); }

std::optional<std::int64_t> BLSReadNonNegativeInt64(std::string_view text) {
    auto value = BLSReadInt64(text);
    if (!value || *value < 0) return std::nullopt;
    return value;
}
