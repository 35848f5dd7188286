#include "storage/BLSStorageXMLParserDelegate.h"

#include <libxml/parser.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <exception>
#include <mutex>

namespace {

// Replies are fed to libxml2 in pieces of this size; its length arguments
// are ints.
constexpr std::size_t kChunkSize = std::size_t{1} << 20;

struct ParseState {
    BLSStorageXMLParserDelegate* delegate = nullptr;
    xmlParserCtxtPtr context = nullptr;
    int depth = 0;
    bool refused = false;
    std::exception_ptr failure;
};

ParseState& stateOf(void* userData) { return *static_cast<ParseState*>(userData); }

void stop(ParseState& state) {
    state.refused = true;
    if (state.context != nullptr) xmlStopParser(state.context);
}

// Runs a callback; an exception stops the parse and is kept for parse() to
// rethrow, since it must not unwind through libxml2's C frames.
template <typename Function>
void guarded(ParseState& state, Function&& function) {
    if (state.refused) return;
    try {
        function();
    } catch (...) {
        if (!state.failure) state.failure = std::current_exception();
        stop(state);
    }
}

const char* text(const xmlChar* value) { return value == nullptr ? "" : reinterpret_cast<const char*>(value); }

void onStartElement(void* userData, const xmlChar* name, const xmlChar** attributes) {
    ParseState& state = stateOf(userData);
    if (state.refused) return;
    if (++state.depth > BLSStorageXMLParserDelegate::maximumDepth) {
        stop(state);
        return;
    }
    guarded(state, [&] {
        BLSStorageXMLParserDelegate::Attributes map;
        for (const xmlChar** pair = attributes; pair != nullptr && pair[0] != nullptr; pair += 2)
            map[text(pair[0])] = text(pair[1]);
        state.delegate->parseBeginElement(*state.delegate, text(name), map);
    });
}

void onEndElement(void* userData, const xmlChar* name) {
    ParseState& state = stateOf(userData);
    --state.depth;
    guarded(state, [&] { state.delegate->parseEndElement(*state.delegate, text(name)); });
}

void onCharacters(void* userData, const xmlChar* characters, int length) {
    ParseState& state = stateOf(userData);
    if (length <= 0) return;
    guarded(state, [&] {
        state.delegate->foundCharacters(
            *state.delegate, std::string(reinterpret_cast<const char*>(characters), static_cast<std::size_t>(length)));
    });
}

// Replies never carry a document type; refusing one keeps entity
// declarations (and their expansion) out entirely.
void onInternalSubset(void* userData, const xmlChar*, const xmlChar*, const xmlChar*) { stop(stateOf(userData)); }

// libxml2 would otherwise print its messages; well-formedness is read from
// the context instead.
void ignoreMessage(void*, const char*, ...) {}

xmlSAXHandler makeHandler() {
    xmlSAXHandler handler{};
    // Version 1 callbacks: element names arrive as written, prefix and all,
    // with no namespace processing.
    handler.initialized = 1;
    handler.startElement = onStartElement;
    handler.endElement = onEndElement;
    handler.characters = onCharacters;
    handler.ignorableWhitespace = onCharacters;
    handler.cdataBlock = onCharacters;
    handler.internalSubset = onInternalSubset;
    handler.warning = ignoreMessage;
    handler.error = ignoreMessage;
    handler.fatalError = ignoreMessage;
    return handler;
}

}  // namespace

void BLSStorageXMLParserDelegate::abortParsing() {
    mAborted = true;
    if (mParserContext != nullptr) xmlStopParser(static_cast<xmlParserCtxtPtr>(mParserContext));
}

bool BLSStorageXMLParserDelegate::parse(std::span<const std::uint8_t> data) {
    if (mParserContext != nullptr) return false;
    if (!parseBeginElement || !parseEndElement || !foundCharacters) return false;
    if (data.empty()) return false;

    static std::once_flag initialised;
    std::call_once(initialised, [] { xmlInitParser(); });

    mAborted = false;
    ParseState state;
    state.delegate = this;
    xmlSAXHandler handler = makeHandler();

    // The first bytes go in at creation so that the encoding is detected.
    const std::size_t head = std::min<std::size_t>(data.size(), 4);
    xmlParserCtxtPtr context = xmlCreatePushParserCtxt(&handler, &state, reinterpret_cast<const char*>(data.data()),
                                                       static_cast<int>(head), nullptr);
    if (context == nullptr) return false;
    xmlCtxtUseOptions(context, XML_PARSE_NONET);
    state.context = context;
    mParserContext = context;

    // At least one call, the last with the terminate flag, even when
    // everything went in at creation.
    std::size_t offset = head;
    bool failed = false;
    do {
        const std::size_t size = std::min(kChunkSize, data.size() - offset);
        const bool last = offset + size == data.size();
        const int result = xmlParseChunk(context, reinterpret_cast<const char*>(data.data() + offset),
                                         static_cast<int>(size), last ? 1 : 0);
        offset += size;
        if (result != 0 || state.refused || mAborted) failed = true;
    } while (!failed && offset < data.size());

    const bool wellFormed = context->wellFormed != 0;
    mParserContext = nullptr;
    xmlFreeParserCtxt(context);

    if (state.failure) std::rethrow_exception(state.failure);
    return !failed && wellFormed && !state.refused && !mAborted;
}
