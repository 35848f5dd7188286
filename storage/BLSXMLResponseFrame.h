#pragma once
// The frame every reader of the service's XML replies shares: an element
// stack, a text buffer, and a table of what each (parent, ended element)
// pair does. Internal to the storage module.

#include "platform/foundation/Error.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class BLSOperationContext;
class BLSStorageXMLParserDelegate;

class BLSXMLResponseFrame {
public:
    // Called when `element` starts below `parent` ("" for the root).
    using BeginHandler =
        std::function<void(BLSXMLResponseFrame& frame, const std::string& parent, const std::string& element)>;
    // Called when `ended` ends below `parent` ("" for the root) with the text
    // gathered since the buffer was last emptied. Returns whether the buffer
    // starts empty again.
    using EndHandler = std::function<bool(BLSXMLResponseFrame& frame, const std::string& parent,
                                          const std::string& ended, const std::string& text)>;

    BLSXMLResponseFrame(BLSOperationContext& operationContext, std::size_t stackCapacity);

    // Parses the reply. False when it is malformed, an end tag does not
    // match, or a handler called fail().
    bool run(std::span<const std::uint8_t> data, const BeginHandler& onBegin, const EndHandler& onEnd);

    // Stops the parse from a handler; `error` (when given) replaces the
    // reader's usual parse error.
    void fail(std::optional<platform::Error> error = std::nullopt);
    std::optional<platform::Error>& failure() { return mFailure; }
    BLSOperationContext& operationContext() { return mOperationContext; }

private:
    BLSOperationContext& mOperationContext;
    std::vector<std::string> mStack;
    std::string mBuffer;
    BLSStorageXMLParserDelegate* mParser = nullptr;
    bool mFailed = false;
    std::optional<platform::Error> mFailure;
};

// Strict readers of the numbers in replies: optional blanks around an
// optional "-" and decimal digits, nothing else; nullopt when the text is
// not such a number or does not fit.
std::optional<std::int64_t> BLSReadInt64(std::string_view text);
std::optional<std::int32_t> BLSReadInt32(std::string_view text);
// The same, for values that cannot be negative.
std::optional<std::int64_t> BLSReadNonNegativeInt64(std::string_view text);
