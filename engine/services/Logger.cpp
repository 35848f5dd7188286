#include "engine/services/Logger.h"

#include "engine/services/DelayedFlusher.h"
#include "engine/services/LogFileWriter.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/TextEncoding.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/intrusive_ptr.hpp>
#include <boost/log/attributes/attribute.hpp>
#include <boost/log/attributes/attribute_name.hpp>
#include <boost/log/attributes/attribute_value.hpp>
#include <boost/log/attributes/value_extraction.hpp>
#include <boost/log/core.hpp>
#include <boost/log/sinks/basic_sink_backend.hpp>
#include <boost/log/sinks/sync_frontend.hpp>
#include <boost/log/sources/severity_logger.hpp>
#include <boost/log/trivial.hpp>
#include <boost/log/utility/exception_handler.hpp>
#include <boost/log/utility/setup/common_attributes.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/make_shared.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace logging = boost::log;
namespace sinks = boost::log::sinks;
using boost::log::trivial::severity_level;

namespace {

constexpr std::size_t kShortMessageBytes = 2047;  // warnings and errors
constexpr std::size_t kLongMessageBytes = 4095;   // debug and info
// Room past the cut for one whole UTF-8 character, so the boundary search
// always sees the complete character that straddles the cut.
constexpr std::size_t kCharacterSlack = 4;

// Set when the logger is destroyed at exit: writers called after that (from
// other static destructors or late threads) do nothing instead of touching a
// dead object.
std::atomic<bool> gLoggerGone{false};
// The level, outside the logger: a call below it returns without touching
// the logger or anything shared.
std::atomic<int> gLevel{boost::log::trivial::info};
// Writers past that check and not yet done: the destructor waits for them,
// or a late thread would write into a logger being taken apart.
std::atomic<int> gWritersInside{0};
// How long the destructor waits for them; a writer stuck longer (on a full
// pipe) must not hold up the process's end.
constexpr std::chrono::seconds kMostWaitForWriters{1};
// A test's writer parked inside (CLogger::ParkWritersForTests) is waited for
// this long: the test's end is to wait for it, whatever the machine's load.
constexpr std::chrono::seconds kMostWaitForParkedWriters{30};
std::atomic<CLogger::tParkWriter> gParkWriter{nullptr};

// From now on writers do nothing; waits for those inside.
void CloseToWriters() {
    gLoggerGone.store(true);
    const auto wait = gParkWriter.load() != nullptr ? kMostWaitForParkedWriters : kMostWaitForWriters;
    const auto most = std::chrono::steady_clock::now() + wait;
    while (gWritersInside.load() > 0 && std::chrono::steady_clock::now() < most) std::this_thread::yield();
}

// A writer's stay inside the logger: `alive` tells whether it may go on.
// Announced before looking, so that the destructor, which says gone before
// counting, either is seen here or sees this writer.
class CWriterInside {
public:
    CWriterInside() { gWritersInside.fetch_add(1); }
    ~CWriterInside() { gWritersInside.fetch_sub(1); }
    CWriterInside(const CWriterInside&) = delete;
    CWriterInside& operator=(const CWriterInside&) = delete;
    bool alive() const { return !gLoggerGone.load(); }
};

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

// A memory line's level, between its stamp and its message: "[WARN    ] :  ".
// The lines are made and searched by it.
void AppendLevelMarker(std::string& out, std::string_view levelWord) {
    out += '[';
    out.append(levelWord);
    if (levelWord.size() < 8) out.append(8 - levelWord.size(), ' ');
    out += "] :  ";
}

// Attribute names made once: making one from its text takes the name
// table's lock and a search, which per record cost more than the rest.
const logging::attribute_name& SeverityName() {
    static const logging::attribute_name name("Severity");
    return name;
}

const logging::attribute_name& TimeStampName() {
    static const logging::attribute_name name("TimeStamp");
    return name;
}

const logging::attribute_name& MessageName() {
    static const logging::attribute_name name("Message");
    return name;
}

// An attribute value whose object a thread hands out again once no record
// holds it any more: Boost makes a new object for every value (and the
// message's text a heap block of its own), and these allocations and frees
// are a good part of a record's cost.
template <typename T>
class CReusableValue final : public logging::attribute_value::impl {
public:
    T value{};

    bool dispatch(logging::type_dispatcher& dispatcher) override {
        if (auto callback = dispatcher.get_callback<T>()) {
            callback(value);
            return true;
        }
        return false;
    }
    boost::typeindex::type_index get_type() const override { return boost::typeindex::type_id<T>(); }
};

// The calling thread's free value of type T (`Slot` tells uses of the same
// type apart). A value still referenced elsewhere, by a record or a sink that
// kept it, is left to them and a new one made.
template <typename T, int Slot>
CReusableValue<T>& FreeValue() {
    thread_local boost::intrusive_ptr<CReusableValue<T>> slot;
    if (!slot || slot->use_count() != 1) slot = new CReusableValue<T>();
    return *slot;
}

// The records' "TimeStamp": the local time to the microsecond, as Boost's
// local clock gives it, with the time zone conversion made once a second
// on each thread rather than for every record (the offset from UTC cannot
// change within a second) and its value object reused.
class CLocalClock : public logging::attribute {
    struct tImpl final : logging::attribute::impl {
        logging::attribute_value get_value() override {
            CReusableValue<boost::posix_time::ptime>& stamp = FreeValue<boost::posix_time::ptime, 0>();
            stamp.value = Now();
            return logging::attribute_value(boost::intrusive_ptr<logging::attribute_value::impl>(&stamp));
        }
    };

public:
    CLocalClock() : logging::attribute(new tImpl()) {}

    static boost::posix_time::ptime Now() {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        thread_local std::time_t cachedSecond = 0;
        thread_local boost::posix_time::ptime cachedLocal;
        if (now.tv_sec != cachedSecond || cachedLocal.is_special()) {
            std::tm parts{};
            if (localtime_r(&now.tv_sec, &parts) == nullptr) return boost::posix_time::microsec_clock::local_time();
            cachedLocal = boost::posix_time::ptime_from_tm(parts);
            cachedSecond = now.tv_sec;
        }
        return cachedLocal + boost::posix_time::microseconds(now.tv_nsec / 1000);
    }
};

// The "Message" value of a record, as a record stream would attach it.
logging::attribute_value MessageValue(std::string_view text) {
    CReusableValue<std::string>& message = FreeValue<std::string, 1>();
    message.value.assign(text);
    return logging::attribute_value(boost::intrusive_ptr<logging::attribute_value::impl>(&message));
}

// The value of `name` in `values` as a T, or null.
template <typename T>
const T* Find(const logging::attribute_value_set& values, const logging::attribute_name& name) {
    const auto found = values.find(name);
    if (found == values.end()) return nullptr;
    const auto value = found->second.extract<T>();
    return value ? value.get_ptr() : nullptr;
}

// The values a sink's line is made from, in the record.
struct tLineValues {
    const boost::posix_time::ptime* time = nullptr;
    const severity_level* severity = nullptr;
    const std::string* message = nullptr;
};

// Both sinks make their line from the same record, one after the other on
// the writing thread: what the first finds the second takes as it is. Only
// for the record CLogger::Write is pushing at that moment; another record
// may later have the same address.
struct tRecordInFlight {
    const logging::attribute_value_set* record = nullptr;
    bool found = false;
    tLineValues values;
};
thread_local tRecordInFlight tInFlight;

tLineValues LineValuesOf(const logging::attribute_value_set& values) {
    const bool inFlight = tInFlight.record == &values;
    if (inFlight && tInFlight.found) return tInFlight.values;
    const tLineValues found{Find<boost::posix_time::ptime>(values, TimeStampName()),
                            Find<severity_level>(values, SeverityName()), Find<std::string>(values, MessageName())};
    if (inFlight) {
        tInFlight.values = found;
        tInFlight.found = true;
    }
    return found;
}

// Marks the record being pushed for LineValuesOf, until the push is over.
class CPushingRecord {
public:
    explicit CPushingRecord(const logging::attribute_value_set& values) { tInFlight = {&values, false, {}}; }
    ~CPushingRecord() { tInFlight = {}; }
    CPushingRecord(const CPushingRecord&) = delete;
    CPushingRecord& operator=(const CPushingRecord&) = delete;
};

// Makes a sink's line, "<time stamp>: [<severity in 7>]<gap><message>" and
// its line end, in a buffer kept from line to line. Used under the sink's
// lock only.
class CSinkLine {
public:
    explicit CSinkLine(std::string_view gap) : mGap(gap) {}

    std::string_view Format(const logging::record_view& record) {
        const tLineValues values = LineValuesOf(record.attribute_values());
        const std::string_view stamp = Stamp(values.time);
        const std::string_view severity = SeverityText(values.severity);
        const std::string* message = values.message;
        const std::size_t messageSize = message != nullptr ? message->size() : 0;

        const std::size_t size = stamp.size() + 3 + severity.size() + 1 + mGap.size() + messageSize + 1;
        if (mLine.size() < size) mLine.resize(std::max(size, 2 * mLine.size()));
        char* out = mLine.data();
        out = Put(out, stamp);
        out = Put(out, ": [");
        out = Put(out, severity);
        *out++ = ']';
        out = Put(out, mGap);
        if (messageSize != 0) out = Put(out, *message);
        *out = '\n';
        return {mLine.data(), size};
    }

private:
    static char* Put(char* out, std::string_view text) {
        std::memcpy(out, text.data(), text.size());
        return out + text.size();
    }

    // The stamp changes once a second: the last one made is kept.
    std::string_view Stamp(const boost::posix_time::ptime* time) {
        if (time == nullptr || time->is_special()) return {};
        // Two comparisons of counts; the calendar conversion only when the
        // second changes.
        if (mStampLength == 0 || *time < mSecondStart || !(*time < mSecondEnd)) {
            const boost::posix_time::ptime whole(time->date(),
                                                 boost::posix_time::seconds(time->time_of_day().total_seconds()));
            const std::tm parts = boost::posix_time::to_tm(whole);
            mStampLength = std::strftime(mStamp, sizeof mStamp, "%Y-%m-%d %H:%M:%S", &parts);
            mSecondStart = whole;
            mSecondEnd = whole + boost::posix_time::seconds(1);
        }
        return {mStamp, mStampLength};
    }

    std::string_view SeverityText(const severity_level* severity) {
        // The levels' names padded to seven.
        static constexpr std::string_view kNames[] = {"trace  ", "debug  ", "info   ", "warning", "error  ", "fatal  "};
        if (severity == nullptr) return "       ";
        const int level = static_cast<int>(*severity);
        if (level >= 0 && level < static_cast<int>(std::size(kNames))) return kNames[level];
        const char* text = logging::trivial::to_string(*severity);
        mOtherSeverity = PadRight(text != nullptr ? text : std::to_string(level), 7);
        return mOtherSeverity;
    }

    std::string_view mGap;
    std::string mLine;
    std::string mOtherSeverity;
    // The second the stamp shows: [mSecondStart, mSecondEnd).
    boost::posix_time::ptime mSecondStart;
    boost::posix_time::ptime mSecondEnd;
    char mStamp[32] = "";
    std::size_t mStampLength = 0;
};

using tLineBackendBase =
    sinks::basic_sink_backend<sinks::combine_requirements<sinks::synchronized_feeding, sinks::flushing>::type>;

// The console sink: each line to std::cout, standard output written in
// blocks as the log file is. The first line gives it a buffer of kBlock
// bytes (it had a line's on a terminal and 4 KiB through a pipe, so that a
// burst of lines cost a write(2), and the reader's wake-up, every line or
// every 4 KiB), and it is flushed a moment (kIdleDelay) after the first line
// still waiting there. Lines still go through std::cout as they come, so
// they keep their place among what else the program writes there.
class CConsoleBackend : public tLineBackendBase {
public:
    static constexpr std::size_t kBlock = 64 * 1024;
    static constexpr std::chrono::milliseconds kIdleDelay{200};

    void consume(const logging::record_view& record) {
        const std::string_view line = mLine.Format(record);
        std::cout.write(line.data(), static_cast<std::streamsize>(line.size()));
        if (!mBlocks) {
            // Lives as long as the process: stdout may be written to the end.
            static char buffer[kBlock];
            std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
            mBlocks = true;
        }
        mFlusher.Waiting();
    }
    void flush() {
        std::cout.flush();
        mFlusher.Flushed();
    }

private:
    // Used under the sink's lock only.
    CSinkLine mLine{"    "};
    bool mBlocks = false;
    // The C stream, not std::cout, whose buffer its owner may be replacing
    // meanwhile; what std::cout writes waits there.
    CDelayedFlusher mFlusher{kIdleDelay, [] { std::fflush(stdout); }};
};

using tConsoleSink = sinks::synchronous_sink<CConsoleBackend>;

// The file sink: each line to the log file's writer, which gathers lines
// and writes them in blocks (or each at once).
class CLogFileBackend : public tLineBackendBase {
public:
    explicit CLogFileBackend(CLogFileWriter& writer) : mWriter(writer) {}
    void consume(const logging::record_view& record) { mWriter.Append(mLine.Format(record)); }
    void flush() { mWriter.Flush(); }

private:
    CLogFileWriter& mWriter;
    CSinkLine mLine{"   "};
};

using tFileSink = sinks::synchronous_sink<CLogFileBackend>;

void AppendRecentLine(std::deque<std::string>& lines, std::time_t now, std::string_view levelWord,
                      std::string_view message);

// Formats into a stack buffer and cuts at a character boundary at or below
// `maxBytes`; the result stays in `buffer`, NUL-terminated.
// Whether every conversion in `format` is a bare %s, %d or %%. Most lines
// are made of these, and the writers format them themselves: vsnprintf's
// general machinery costs as much as the rest of a line.
bool IsPlainFormat(const char* format) {
    for (const char* at = std::strchr(format, '%'); at != nullptr; at = std::strchr(at + 2, '%')) {
        if (at[1] != 's' && at[1] != 'd' && at[1] != '%') return false;
    }
    return true;
}

// Formats a plain format as vsnprintf would, writing at most `limit` bytes
// (no NUL); returns the number written.
std::size_t FormatPlain(char* buffer, std::size_t limit, const char* format, va_list args) {
    std::size_t length = 0;
    const auto put = [&](const char* text, std::size_t size) {
        size = std::min(size, limit - length);
        std::memcpy(buffer + length, text, size);
        length += size;
    };
    for (const char* at = format; *at != '\0' && length < limit;) {
        const char* percent = std::strchr(at, '%');
        if (percent == nullptr) {
            put(at, std::strlen(at));
            break;
        }
        put(at, static_cast<std::size_t>(percent - at));
        if (percent[1] == 's') {
            const char* text = va_arg(args, const char*);
            if (text == nullptr) text = "(null)";
            put(text, strnlen(text, limit - length));
        } else if (percent[1] == 'd') {
            const int value = va_arg(args, int);
            char digits[16];
            char* end = digits + sizeof digits;
            char* first = end;
            // Through the unsigned magnitude, so that INT_MIN is no overflow.
            unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
            do {
                *--first = static_cast<char>('0' + magnitude % 10);
                magnitude /= 10;
            } while (magnitude != 0);
            if (value < 0) *--first = '-';
            put(first, static_cast<std::size_t>(end - first));
        } else {
            put("%", 1);
        }
        at = percent + 2;
    }
    return length;
}

// Returns the length of the message.
template <std::size_t N>
std::size_t FormatInto(char (&buffer)[N], std::size_t maxBytes, const char* format, va_list args) {
    static_assert(N > kLongMessageBytes + kCharacterSlack);
    if (format == nullptr) {
        buffer[0] = '\0';
        return 0;
    }
    const std::size_t limit = maxBytes + kCharacterSlack;
    std::size_t length = 0;
    if (IsPlainFormat(format)) {
        length = FormatPlain(buffer, limit, format, args);
    } else {
        const int written = std::vsnprintf(buffer, limit + 1, format, args);
        if (written < 0) {
            buffer[0] = '\0';
            return 0;
        }
        // Up to a NUL a conversion may have written, as the text is read.
        length = strnlen(buffer, std::min<std::size_t>(static_cast<std::size_t>(written), limit));
    }
    length = platform::utf8SafePrefixLength(std::string_view(buffer, length), maxBytes);
    buffer[length] = '\0';
    return length;
}

void WriteFormatted(int severity, std::size_t maxBytes, const char* format, va_list args) {
    char buffer[kLongMessageBytes + kCharacterSlack + 1];
    const std::size_t length = FormatInto(buffer, maxBytes, format, args);
    CLogger::Instance().Write(severity, std::string_view(buffer, length));
}

}  // namespace

struct CLogger::Impl {
    logging::sources::severity_logger_mt<severity_level> logger;

    std::mutex sinkMutex;  // guards the file sink's replacement and the console switch
    boost::shared_ptr<tConsoleSink> consoleSink;
    bool consoleOn = true;
    boost::shared_ptr<tFileSink> fileSink;
    // The log file; the crash path writes out what it has gathered.
    CLogFileWriter fileWriter;

    // Touched only on `queue`.
    std::deque<std::string> recentLines;
    // Lines written and not yet on the list, with the second they came:
    // they join it in batches (one block on the queue for kBatchLines
    // lines, not one block and one wake-up of its thread a line), and
    // before anything reads the list. A line's level word and message are
    // kept one after the other in `pendingText`; the queue hands the
    // emptied vector and text back, so a writer allocates nothing once
    // they have grown.
    struct tPendingLine {
        std::time_t time;
        std::uint32_t wordLength;
        std::uint32_t messageLength;
    };
    static constexpr std::size_t kBatchLines = 256;
    static constexpr std::size_t kKeptPendingBytes = 256 * 1024;
    std::mutex pendingMutex;
    std::vector<tPendingLine> pendingLines;
    std::string pendingText;
    // Touched only on `queue`: the pair the last drain took.
    std::vector<tPendingLine> drainedLines;
    std::string drainedText;
    // Declared last so it is destroyed first, running any queued appends
    // while the list still exists.
    std::unique_ptr<platform::DispatchQueue> queue;

    // Records whose severity is at least the threshold; read straight from
    // the record's value, under a name made once.
    void ApplyFilter(int threshold) {
        const severity_level minimum = ToSeverity(threshold);
        logging::core::get()->set_filter([minimum](const logging::attribute_value_set& values) {
            const severity_level* severity = Find<severity_level>(values, SeverityName());
            return severity != nullptr && *severity >= minimum;
        });
    }

    void QueueRecentLine(std::string_view levelWord, std::string_view message);

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

    mImpl->pendingLines.reserve(Impl::kBatchLines);
    mImpl->drainedLines.reserve(Impl::kBatchLines);
    mImpl->consoleSink = boost::make_shared<tConsoleSink>(boost::make_shared<CConsoleBackend>());
    core->add_sink(mImpl->consoleSink);
    mImpl->ApplyFilter(gLevel.load());
    logging::add_common_attributes();
    // The same local time stamp, made cheaper (see CLocalClock).
    const CLocalClock clock;
    if (auto [at, added] = core->add_global_attribute(TimeStampName(), clock); !added) {
        core->remove_global_attribute(at);
        core->add_global_attribute(TimeStampName(), clock);
    }
    mImpl->queue = std::make_unique<platform::DispatchQueue>("com.vekmont.engine.logger");
    // Boost.Log makes statics of its own at the first record (the thread's
    // severity); made now, they go after the handler registered next, which
    // at the process's end closes the logger to late threads before any of
    // what a write uses is gone.
    { auto record = mImpl->logger.open_record(logging::keywords::severity = severity_level::trace); }
    std::atexit(CloseToWriters);
}

CLogger::~CLogger() {
    CloseToWriters();
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
        mImpl->fileSink = sink;
        logging::core::get()->add_sink(sink);
    }
    CLogFileWriter::InstallForCrash(&mImpl->fileWriter);
}

void CLogger::WriteBufferedLinesAtCrash() { CLogFileWriter::WriteInstalledAtCrash(); }

std::string CLogger::PreviousLogPath(const std::string& path) { return path + ".1"; }

void CLogger::SetLevel(int level) {
    gLevel.store(level);
    mImpl->ApplyFilter(level);
}

int CLogger::GetLevel() const { return gLevel.load(std::memory_order_relaxed); }

std::string CLogger::GetLevelName() const {
    const int level = GetLevel();
    if (level >= severity_level::trace && level <= severity_level::fatal) {
        return logging::trivial::to_string(static_cast<severity_level>(level));
    }
    return std::to_string(level);
}

void CLogger::Write(int severity, const char* message) {
    Write(severity, message != nullptr ? std::string_view(message) : std::string_view());
}

void CLogger::ParkWritersForTests(tParkWriter park) { gParkWriter.store(park); }

void CLogger::Write(int severity, std::string_view text) {
    // Every line counts itself in, whoever writes it: a late thread must not
    // write into a logger the process's end is taking apart.
    const CWriterInside inside;
    if (!inside.alive()) return;
    if (const tParkWriter park = gParkWriter.load(std::memory_order_relaxed)) park(text);
    if (logging::record record = mImpl->logger.open_record(logging::keywords::severity = ToSeverity(severity))) {
        // The "Message" value a record stream would attach, without building
        // a stream (and its locale) for every record.
        record.attribute_values().insert(MessageName(), MessageValue(text));
        const CPushingRecord pushing(record.attribute_values());
        mImpl->logger.push_record(std::move(record));
    }
    // Below the sinks' threshold too: the memory list keeps every line.
    mImpl->QueueRecentLine(LevelWord(severity), text);
}

void CLogger::Flush() { logging::core::get()->flush(); }

void CLogger::SetConsoleOutput(bool on) {
    std::lock_guard lock(mImpl->sinkMutex);
    if (mImpl->consoleOn == on) return;
    mImpl->consoleOn = on;
    auto core = logging::core::get();
    if (on) {
        core->add_sink(mImpl->consoleSink);
    } else {
        core->remove_sink(mImpl->consoleSink);
        mImpl->consoleSink->flush();
    }
}

bool CLogger::IsConsoleOutputOn() const {
    std::lock_guard lock(mImpl->sinkMutex);
    return mImpl->consoleOn;
}

void CLogger::Impl::QueueRecentLine(std::string_view levelWord, std::string_view message) {
    const std::time_t now = std::time(nullptr);
    bool full = false;
    {
        std::lock_guard lock(pendingMutex);
        pendingText.append(levelWord);
        pendingText.append(message);
        pendingLines.push_back(
            {now, static_cast<std::uint32_t>(levelWord.size()), static_cast<std::uint32_t>(message.size())});
        full = pendingLines.size() == kBatchLines;
    }
    if (full) queue->async([this] { drainPending(); });
}

void CLogger::Impl::drainPending() {
    {
        std::lock_guard lock(pendingMutex);
        drainedLines.swap(pendingLines);
        drainedText.swap(pendingText);
    }
    std::string_view text(drainedText);
    for (const tPendingLine& line : drainedLines) {
        const std::string_view word = text.substr(0, line.wordLength);
        const std::string_view message = text.substr(line.wordLength, line.messageLength);
        text.remove_prefix(std::size_t{line.wordLength} + line.messageLength);
        AppendRecentLine(recentLines, line.time, word, message);
    }
    // Emptied, they keep their room for the writers' next batch; the room a
    // burst of long lines took is given back.
    drainedLines.clear();
    drainedText.clear();
    if (drainedText.capacity() > kKeptPendingBytes) std::string().swap(drainedText);
}

namespace {

void AppendRecentLine(std::deque<std::string>& lines, std::time_t now, std::string_view levelWord,
                      std::string_view message) {
    // Only the queue's thread comes here; the stamp is made once a second.
    static std::time_t stampSecond = -1;
    static char stamp[64] = "";
    if (now != stampSecond) {
        std::tm parts{};
        stamp[0] = '\0';
        if (localtime_r(&now, &parts) != nullptr) std::strftime(stamp, sizeof stamp, "%d-%m-%Y %T", &parts);
        stampSecond = now;
    }

    std::string line;
    line.reserve(19 + 1 + 9 + 5 + message.size());
    line.append(stamp);
    if (line.size() < 19) line.append(19 - line.size(), ' ');
    line += ' ';
    AppendLevelMarker(line, levelWord);
    line.append(message);

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

void CLogger::ResetForTests() {
    {
        std::lock_guard lock(mImpl->sinkMutex);
        if (mImpl->fileSink) {
            logging::core::get()->remove_sink(mImpl->fileSink);
            mImpl->fileSink->flush();
            mImpl->fileSink.reset();
        }
        CLogFileWriter::InstallForCrash(nullptr);
        mImpl->fileWriter.Close();
    }
    SetConsoleOutput(true);
    SetLevel(severity_level::info);
    ClearRecentLines();
}

void CLogger::FindRecentLines(int maxLines, int level, std::vector<std::string>& lines) {
    const char* word = level == 2 ? "INFO" : level == 3 ? "WARN" : level == 4 ? "ERROR" : "DEBUG";
    std::string marker;
    AppendLevelMarker(marker, word);

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
// Nothing shared is touched before CLogger::Write counts the line in.
void WriteIfEnabled(int severity, std::size_t maxBytes, bool gated, const char* format, va_list args) {
    if (gated && gLevel.load(std::memory_order_relaxed) > severity) return;
    if (gLoggerGone.load(std::memory_order_relaxed)) return;
    WriteFormatted(severity, maxBytes, format, args);
}

}  // namespace

bool LogEnabled(int severity) {
    return (severity >= 3 || gLevel.load(std::memory_order_relaxed) <= severity) && !gLoggerGone.load();
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
