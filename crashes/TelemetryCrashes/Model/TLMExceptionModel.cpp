#include "crashes/TelemetryCrashes/Model/TLMExceptionModel.h"

#include "crashes/TelemetryCrashes/Internals/Util/TLMCallStackSymbols.h"
#include "crashes/TelemetryCrashes/Internals/Util/TLMPropertyListDescription.h"

#include <cctype>
#include <string_view>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isHexAddress(std::string_view token) {
    if (token.size() < 3 || token[0] != '0' || (token[1] != 'x' && token[1] != 'X')) return false;
    for (const char c : token.substr(2)) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

bool isDecimal(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && (isBlank(text.back()) || text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
    return text;
}

// "-[Class method:]" or "+[Class method:]" split into its two names.
bool splitMethod(std::string_view symbol, std::string& className, std::string& methodName) {
    if (symbol.size() < 5 || (symbol[0] != '-' && symbol[0] != '+') || symbol[1] != '[' || symbol.back() != ']') {
        return false;
    }
    const std::string_view inside = symbol.substr(2, symbol.size() - 3);
    const std::size_t blank = inside.find(' ');
    if (blank == std::string_view::npos || blank == 0 || blank + 1 == inside.size()) return false;
    className = inside.substr(0, blank);
    methodName = inside.substr(blank + 1);
    return true;
}

// One frame from a line, or null when the line has no frame number, image
// and address.
std::shared_ptr<TLMStackFrame> frameFromLine(std::string_view line) {
    line = trimmed(line);
    std::size_t at = 0;
    while (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at]))) ++at;
    if (at == 0 || at == line.size() || !isBlank(line[at])) return nullptr;

    // The image runs up to the first word that is an address, after at least one word.
    std::size_t imageStart = std::string_view::npos;
    std::size_t imageEnd = 0;
    while (at < line.size()) {
        while (at < line.size() && isBlank(line[at])) ++at;
        const std::size_t wordStart = at;
        while (at < line.size() && !isBlank(line[at])) ++at;
        if (wordStart == at) break;
        const std::string_view word = line.substr(wordStart, at - wordStart);
        if (imageStart != std::string_view::npos && isHexAddress(word)) {
            auto frame = std::make_shared<TLMStackFrame>();
            frame->setFileName(std::string(line.substr(imageStart, imageEnd - imageStart)));
            frame->setAddress(std::string(word));
            std::string_view symbol = trimmed(line.substr(at));
            const std::size_t plus = symbol.rfind(" + ");
            if (plus != std::string_view::npos && isDecimal(trimmed(symbol.substr(plus + 3)))) {
                symbol = trimmed(symbol.substr(0, plus));
            }
            if (symbol.empty()) return frame;
            std::string className;
            std::string methodName;
            if (splitMethod(symbol, className, methodName)) {
                frame->setClassName(std::move(className));
                frame->setMethodName(std::move(methodName));
            } else {
                frame->setMethodName(std::string(symbol));
            }
            return frame;
        }
        if (imageStart == std::string_view::npos) imageStart = wordStart;
        imageEnd = at;
    }
    return nullptr;
}

}  // namespace

TLMExceptionModel::TLMExceptionModel(const TLMKeyedUnarchiver& coder)
    : mType(coder.decodeOptionalString("type")),
      mMessage(coder.decodeOptionalString("message")),
      mStackTrace(coder.decodeOptionalString("stackTrace")),
      mFrames(coder.decodeArrayOfObjectsOfClass<TLMStackFrame>("frames")) {}

TLMExceptionModel::TLMExceptionModel(const platform::Error& error) {
    if (!error.domain().empty()) mType = error.domain();
    if (!error.userInfo().empty()) mMessage = TLMDescriptionOfUserInfo(error.userInfo());
    setStack(TLMCallStackSymbols());
}

TLMExceptionModel::TLMExceptionModel(const std::exception& exception)
    : mType(TLMClassName(typeid(exception))), mMessage(exception.what()) {
    mFrames = loadStackTrace(TLMCallStackSymbols());
}

TLMExceptionModel::TLMExceptionModel(std::optional<std::string> type, std::optional<std::string> exceptionMessage,
                                     const std::optional<SymbolLines>& stackTrace)
    : mType(std::move(type)), mMessage(std::move(exceptionMessage)) {
    setStack(stackTrace ? *stackTrace : TLMCallStackSymbols());
}

void TLMExceptionModel::setStack(const SymbolLines& lines) {
    mStackTrace = TLMDescriptionOfLines(lines);
    mFrames = loadStackTrace(lines);
}

TLMExceptionModel::Frames TLMExceptionModel::loadStackTrace(const std::optional<SymbolLines>& symbolLines) {
    Frames frames;
    if (!symbolLines) return frames;
    for (const std::string& line : *symbolLines) {
        if (auto frame = frameFromLine(line)) frames.push_back(std::move(frame));
    }
    return frames;
}

TLMOrderedDictionary TLMExceptionModel::serializeToDictionary() const {
    TLMOrderedDictionary dictionary;
    setOptional(dictionary, mType, "type");
    setOptional(dictionary, mMessage, "message");
    setOptional(dictionary, mStackTrace, "stackTrace");
    if (mFrames) dictionary.setObject(serializedArray(*mFrames), "frames");
    return dictionary;
}

bool TLMExceptionModel::isValid() const {
    if (!mType) return reportInvalidField("type");
    if (!mFrames || mFrames->empty()) return reportInvalidField("frames");
    return true;
}

bool TLMExceptionModel::isEqual(const TLMCoding& other) const {
    const auto* model = dynamic_cast<const TLMExceptionModel*>(&other);
    return model != nullptr && mType == model->mType && mMessage == model->mMessage &&
           sameObjects(mFrames, model->mFrames) && mStackTrace == model->mStackTrace;
}

void TLMExceptionModel::encodeWithCoder(TLMKeyedArchiver& coder) const {
    coder.encodeOptionalString(mType, "type");
    coder.encodeOptionalString(mMessage, "message");
    coder.encodeOptionalString(mStackTrace, "stackTrace");
    coder.encodeObjectArray(mFrames, "frames");
}
