#include "engine/services/Logger.h"

#include "engine/services/LogFileWriter.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/TextEncoding.h"

#include <boost/core/null_deleter.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/date_time/posix_time/conversion.hpp>
#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/core.hpp>
#include <boost/log/expressions.hpp>
#include <boost/log/sinks/basic_sink_backend.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/sinks/text_ostream_backend.hpp>
#include <boost/log/sources/record_ostream.hpp>
#include <boost/log/sources/severity_logger.hpp>
#include <boost/log/trivial.hpp>
#include <boost/log/utility/exception_handler.hpp>
#include <boost/log/utility/formatting_ostream.hpp>
#include <boost/log/utility/setup/common_attributes.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/make_shared.hpp>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

namespace logging = boost::log;
namespace sinks = boost::log::sinks;
namespace expr = boost::log::expressions;
using boost::log::trivial::severity_level;

namespace {

using tTextSink = sinks::synchronous_sink<sinks::text_ostream_backend>;

constexpr std::size_t kShortMessageBytes = 2047;  // warnings and errors
constexpr std::size_t kLongMessageBytes = 4095;   // debug and info
// Room past the cut for one whole UTF-8 character, so the boundary search
// always sees the complete character that straddles the cut.
constexpr std::size_t kCharacterSlack = 4;

// Set when the logger is destroyed at exit: writers called after that (from
// other static destructors or late threads) do nothing instead of touching a
// dead object.
std::atomic<bool> gLoggerGone{false};

const char* LevelWord(int severity) {
    switch (severity) {
        case 2: return "INFO";
        case 3: return "WARN";
        case 4: return "ERROR";
        default: return severity < 2 ? "DEBUG" : "ERROR";
    }
}

severity_level ToSeverity(int severity) {
    if (severity < severity_level::trace) return severity_level::trace;
    if (severity > severity_level::fatal) return severity_level::fatal;
    return static_cast<severity_level>(severity);
}

std::string PadRight(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

// "<time stamp>: [<severity in 7>]<gap><message>"; the file sink uses three
// blanks as the gap, the console four.
void FormatSinkLine(const char* gap, const logging::record_view& record, logging::formatting_ostream& stream) {
    // The stamp changes once a second: each thread keeps the last one made.
    thread_local boost::posix_time::ptime stampSecond;
    thread_local char stamp[32] = "";
    if (auto time = logging::extract<boost::posix_time::ptime>("TimeStamp", record); time && !time->is_special()) {
        const boost::posix_time::ptime second =
            *time - boost::posix_time::microseconds(time->time_of_day().fractional_seconds());
        if (second != stampSecond || stamp[0] == '\0') {
            const std::tm parts = boost::posix_time::to_tm(second);
            std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &parts);
            stampSecond = second;
        }
    } else {
        stampSecond = boost::posix_time::ptime();
        stamp[0] = '\0';
    }
    // The levels' names padded to seven, made once.
    static const std::string kNames[] = {PadRight("trace", 7),   PadRight("debug", 7), PadRight("info", 7),
                                         PadRight("warning", 7), PadRight("error", 7), PadRight("fatal", 7)};
    std::string other;
    const std::string* name = &other;
    if (auto severity = logging::extract<severity_level>("Severity", record)) {
        const int level = static_cast<int>(*severity);
        if (level >= 0 && level < static_cast<int>(std::size(kNames))) {
            name = &kNames[level];
        } else {
            const char* text = logging::trivial::to_string(*severity);
            other = PadRight(text != nullptr ? text : std::to_string(level), 7);
        }
    } else {
        other = PadRight("", 7);
    }
    stream << stamp << ": [" << *name << "]" << gap;
    if (auto message = logging::extract<std::string>("Message", record)) stream << *message;
}

boost::shared_ptr<tTextSink> MakeSink(boost::shared_ptr<std::ostream> out, bool autoFlush, const char* gap) {
    auto backend = boost::make_shared<sinks::text_ostream_backend>(logging::keywords::auto_newline_mode =
                                                                       sinks::auto_newline_mode::always_insert);
    backend->add_stream(std::move(out));
    backend->auto_flush(autoFlush);
    auto sink = boost::make_shared<tTextSink>(backend);
    sink->set_formatter([gap](const logging::record_view& record, logging::formatting_ostream& stream) {
        FormatSinkLine(gap, record, stream);
    });
    return sink;
}

// The file sink: each formatted line goes to the log file's writer, which
// gathers lines and writes them in blocks (or each at once).
class CLogFileBackend : public sinks::basic_formatted_sink_backend<
                            char, sinks::combine_requirements<sinks::synchronized_feeding, sinks::flushing>::type> {
public:
    explicit CLogFileBackend(CLogFileWriter& writer) : mWriter(writer) {}
    void consume(const logging::record_view&, const string_type& line) {
        mLine.assign(line);
        mLine += '\n';
        mWriter.Append(mLine);
    }
    void flush() { mWriter.Flush(); }

private:
    CLogFileWriter& mWriter;
    std::string mLine;
};

using tFileSink = sinks::synchronous_sink<CLogFileBackend>;

void AppendRecentLine(std::deque<std::string>& lines, std::time_t now, const std::string& levelWord,
                      const std::string& message);

// Formats into a stack buffer and cuts at a character boundary at or below
// `maxBytes`; the result stays in `buffer`, NUL-terminated.
template <std::size_t N>
void FormatInto(char (&buffer)[N], std::size_t maxBytes, const char* format, va_list args) {
    static_assert(N > kLongMessageBytes + kCharacterSlack);
    if (format == nullptr) {
        buffer[0] = '\0';
        return;
    }
    const int written = std::vsnprintf(buffer, maxBytes + kCharacterSlack + 1, format, args);
    if (written < 0) {
        buffer[0] = '\0';
        return;
    }
    const std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(written), maxBytes + kCharacterSlack);
    buffer[platform::utf8SafePrefixLength(std::string_view(buffer, length), maxBytes)] = '\0';
}

void WriteFormatted(int severity, std::size_t maxBytes, const char* format, va_list args) {
    char buffer[kLongMessageBytes + kCharacterSlack + 1];
    FormatInto(buffer, maxBytes, format, args);
    CLogger::Instance().Write(severity, buffer);
}

}  // namespace

struct CLogger::Impl {
    logging::sources::severity_logger_mt<severity_level> logger;
    std::atomic<int> level{severity_level::info};

    std::mutex sinkMutex;  // guards the file sink's replacement
    boost::shared_ptr<tTextSink> consoleSink;
    boost::shared_ptr<tFileSink> fileSink;
    // The log file; the crash path writes out what it has gathered.
    CLogFileWriter fileWriter;

    // Touched only on `queue`.
    std::deque<std::string> recentLines;
    // Lines written and not yet on the list, with the second they came:
    // they join it in batches (one block on the queue for kBatchLines
    // lines, not one block and one wake-up of its thread a line), and
    // before anything reads the list.
    struct tPendingLine {
        std::time_t time;
        std::string levelWord;
        std::string message;
    };
    static constexpr std::size_t kBatchLines = 256;
    std::mutex pendingMutex;
    std::vector<tPendingLine> pendingLines;
    // Declared last so it is destroyed first, running any queued appends
    // while the list still exists.
    std::unique_ptr<platform::DispatchQueue> queue;

    void ApplyFilter(int threshold) {
        logging::core::get()->set_filter(logging::trivial::severity >= ToSeverity(threshold));
    }

    // Runs `block` on the queue and waits; inline when already on it, where a
    // synchronous dispatch could never complete.
    template <typename Block>
    void ReadSync(Block&& block) {
        auto withPending = [this, &block] {
            drainPending();
            block();
        };
        if (queue->isCurrent()) {
            withPending();
        } else {
            queue->sync(withPending);
        }
    }

    // On `queue`: moves the pending lines to the list.
    void drainPending();
};

CLogger& CLogger::Instance() {
    static CLogger instance;
    return instance;
}

CLogger::CLogger() : mImpl(std::make_unique<Impl>()) {
    auto core = logging::core::get();
    // A sink that cannot write (a full disk, a vanished folder) must never
    // turn a log call into an exception in the caller.
    core->set_exception_handler(logging::make_exception_suppressor());

    mImpl->consoleSink = MakeSink(boost::shared_ptr<std::ostream>(&std::cout, boost::null_deleter()), false, "    ");
    core->add_sink(mImpl->consoleSink);
    mImpl->ApplyFilter(mImpl->level.load());
    logging::add_common_attributes();
    mImpl->queue = std::make_unique<platform::DispatchQueue>("com.vekmont.engine.logger");
}

CLogger::~CLogger() {
    gLoggerGone.store(true, std::memory_order_release);
    auto core = logging::core::get();
    std::lock_guard lock(mImpl->sinkMutex);
    if (mImpl->fileSink) {
        core->remove_sink(mImpl->fileSink);
        mImpl->fileSink->flush();
    }
    CLogFileWriter::InstallForCrash(nullptr);
    mImpl->fileWriter.Close();
    core->remove_sink(mImpl->consoleSink);
    mImpl->consoleSink->flush();
}

void CLogger::AddFileSink(const std::string& path, int maxSizeKiB, bool autoFlush) {
    namespace fs = std::filesystem;
    std::error_code error;
    const auto size = fs::file_size(path, error);
    // A log over the limit is kept one generation back rather than deleted:
    // the crash reporter started before this and still has to attach the
    // lines that led to the last crash.
    if (!error && size > static_cast<std::uintmax_t>(std::max(maxSizeKiB, 0)) * 1024u) {
        fs::rename(path, PreviousLogPath(path), error);
        if (error) fs::remove(path, error);
    }

    std::lock_guard lock(mImpl->sinkMutex);
    // One log file at a time: a second call moves the log, never doubles it.
    // The file before stays in use when the new one cannot be opened.
    if (!mImpl->fileWriter.Open(path, autoFlush)) {
        LogWarning("Failed to open log file '%s'", path.c_str());
        return;
    }
    if (!mImpl->fileSink) {
        auto sink = boost::make_shared<tFileSink>(boost::make_shared<CLogFileBackend>(mImpl->fileWriter));
        sink->set_formatter([](const logging::record_view& record, logging::formatting_ostream& stream) {
            FormatSinkLine("   ", record, stream);
        });
        mImpl->fileSink = sink;
        logging::core::get()->add_sink(sink);
    }
    CLogFileWriter::InstallForCrash(&mImpl->fileWriter);
}

void CLogger::WriteBufferedLinesAtCrash() { CLogFileWriter::WriteInstalledAtCrash(); }

std::string CLogger::PreviousLogPath(const std::string& path) { return path + ".1"; }

void CLogger::SetLevel(int level) {
    mImpl->level.store(level);
    mImpl->ApplyFilter(level);
}

int CLogger::GetLevel() const { return mImpl->level.load(std::memory_order_relaxed); }

std::string CLogger::GetLevelName() const {
    const int level = GetLevel();
    if (level >= severity_level::trace && level <= severity_level::fatal) {
        return logging::trivial::to_string(static_cast<severity_level>(level));
    }
    return std::to_string(level);
}

void CLogger::Write(int severity, const char* message) {
    if (message == nullptr) message = "";
    if (logging::record record = mImpl->logger.open_record(logging::keywords::severity = ToSeverity(severity))) {
        logging::record_ostream stream(record);
        stream.write(message, static_cast<std::streamsize>(std::strlen(message)));
        stream.flush();
        mImpl->logger.push_record(std::move(record));
    }
    // Below the sinks' threshold too: the memory list keeps every line.
    WriteRecord(LevelWord(severity), message);
}

void CLogger::Flush() { logging::core::get()->flush(); }

void CLogger::WriteRecord(const std::string& levelWord, const std::string& message) {
    bool full = false;
    {
        std::lock_guard lock(mImpl->pendingMutex);
        mImpl->pendingLines.push_back({std::time(nullptr), levelWord, message});
        full = mImpl->pendingLines.size() == Impl::kBatchLines;
    }
    if (full) mImpl->queue->async([this] { mImpl->drainPending(); });
}

void CLogger::Impl::drainPending() {
    std::vector<tPendingLine> lines;
    {
        std::lock_guard lock(pendingMutex);
        lines.swap(pendingLines);
    }
    for (const tPendingLine& line : lines) AppendRecentLine(recentLines, line.time, line.levelWord, line.message);
}

namespace {

void AppendRecentLine(std::deque<std::string>& lines, std::time_t now, const std::string& levelWord,
                      const std::string& message) {
    // Only the queue's thread comes here; the stamp is made once a second.
    static std::time_t stampSecond = -1;
    static char stamp[64] = "";
    if (now != stampSecond) {
        std::tm parts{};
        stamp[0] = '\0';
        if (localtime_r(&now, &parts) != nullptr) std::strftime(stamp, sizeof stamp, "%d-%m-%Y %T", &parts);
        stampSecond = now;
    }

    std::string line = PadRight(stamp, 19);
    line += ' ';
    line += PadRight("[" + levelWord, 9);
    line += "] :  ";
    line += message;

    lines.push_back(std::move(line));
    if (lines.size() > CLogger::kMaxRecentLines) lines.pop_front();
}

}  // namespace

void CLogger::GetRecentLines(int count, std::vector<std::string>& lines) {
    lines.clear();
    mImpl->ReadSync([&] {
        const auto& recent = mImpl->recentLines;
        const int available = static_cast<int>(recent.size());
        const int n = std::min(count, available);
        if (n <= 0) return;
        lines.assign(recent.end() - n, recent.end());
    });
}

void CLogger::ClearRecentLines() {
    mImpl->ReadSync([&] { mImpl->recentLines.clear(); });
}

void CLogger::FindRecentLines(int maxLines, int level, std::vector<std::string>& lines) {
    const char* word = level == 2 ? "INFO" : level == 3 ? "WARN" : level == 4 ? "ERROR" : "DEBUG";
    const std::string marker = PadRight(std::string("[") + word, 9) + "] :  ";

    lines.clear();
    mImpl->ReadSync([&] {
        std::deque<std::string> found;
        const auto& recent = mImpl->recentLines;
        for (auto it = recent.rbegin(); it != recent.rend(); ++it) {
            if (static_cast<int>(found.size()) >= maxLines) break;
            if (it->find(marker) != std::string::npos) found.push_front(*it);
        }
        lines.assign(found.begin(), found.end());
    });
}

CDebugFlags& CDebugFlags::Get() {
    static CDebugFlags flags;
    return flags;
}

namespace {

// Debug and info return before formatting anything when below the level.
void WriteIfEnabled(int severity, std::size_t maxBytes, bool gated, const char* format, va_list args) {
    if (gLoggerGone.load(std::memory_order_acquire)) return;
    CLogger& logger = CLogger::Instance();
    if (gated && logger.GetLevel() > severity) return;
    WriteFormatted(severity, maxBytes, format, args);
}

}  // namespace

bool LogEnabled(int severity) {
    if (gLoggerGone.load(std::memory_order_acquire)) return false;
    return severity >= 3 || CLogger::Instance().GetLevel() <= severity;
}

void LogDebug(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteIfEnabled(1, kLongMessageBytes, true, format, args);
    va_end(args);
}

void LogInfo(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteIfEnabled(2, kLongMessageBytes, true, format, args);
    va_end(args);
}

void LogWarning(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteIfEnabled(3, kShortMessageBytes, false, format, args);
    va_end(args);
}

void LogError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteIfEnabled(4, kShortMessageBytes, false, format, args);
    va_end(args);
}
