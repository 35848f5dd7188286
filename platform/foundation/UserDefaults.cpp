#include "platform/foundation/UserDefaults.h"

#include "platform/foundation/AsciiText.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Paths.h"
#include "platform/dispatch/Deadline.h"
#include "platform/dispatch/DispatchQueue.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>

namespace platform {

namespace fs = std::filesystem;

namespace {

// A domain names one file; it must not reach outside the preferences folder.
std::string fileNameFor(const std::string& domain) {
    std::string name = domain.empty() ? std::string("_") : domain;
    for (char& c : name) {
        if (c == '/' || c == '\0') c = '_';
    }
    if (name == "." || name == "..") name = "_";
    return name + ".json";
}

std::optional<std::int64_t> parseWholeNumber(const std::string& text) {
    std::string_view digits = ascii::trimmed(text);
    if (digits.starts_with('+')) digits.remove_prefix(1);  // from_chars takes '-' only
    if (digits.empty()) return std::nullopt;
    std::int64_t value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec != std::errc() || result.ptr != digits.data() + digits.size()) return std::nullopt;
    return value;
}

}  // namespace

// What an object and its delayed writes share.
struct UserDefaults::State {
    explicit State(std::string name) : domain(std::move(name)) {}

    fs::path filePath() const { return Paths::preferences() / fileNameFor(domain); }

    // Reads the file once; under `mutex`. A missing, unreadable or corrupt
    // file reads as no settings; the file itself is left alone until the
    // next write.
    void loadLocked();
    // Counts a change; under `mutex`. True when the caller is to schedule a
    // write (after letting go of the lock): none waits yet, or the one that
    // waits does so on a clock that is no longer in use (a test's virtual
    // clock drops what is pending when it goes).
    bool changedLocked(const std::shared_ptr<Clock>& clock);
    // Writes the values as they are now to the domain's file.
    bool synchronize();
    // Writes what is not written yet to the file the values were read from,
    // only while its folder is still there: these writes come on their own,
    // maybe as the process ends, when the app root may have gone (a test's
    // temporary root); they do not make it again.
    void saveChanges();
    // Under `fileMutex`: writes the values taken at change `count`.
    bool write(const fs::path& path, Value::Dictionary snapshot, std::uint64_t count);

    const std::string domain;

    // Held while the file is written, taken before `mutex`: writes happen
    // one at a time in the order their values were taken, so the file ends
    // with the latest of them.
    std::mutex fileMutex;

    std::mutex mutex;  // guards what follows
    bool loaded = false;
    fs::path loadedFrom;
    Value::Dictionary values;
    // Changes made so far, and how many of them the file holds.
    std::uint64_t changes = 0;
    std::uint64_t saved = 0;
    bool savePending = false;
    std::weak_ptr<Clock> saveClock;  // the clock a pending write waits on
};

void UserDefaults::State::loadLocked() {
    if (loaded) return;
    loaded = true;
    values.clear();
    loadedFrom = filePath();
    std::ifstream in(loadedFrom, std::ios::binary);
    if (!in) return;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return;
    auto stored = Value::fromStoredForm(text.str());
    if (!stored) return;
    if (auto* dict = stored->asDictionary()) values = std::move(*dict);
}

bool UserDefaults::State::changedLocked(const std::shared_ptr<Clock>& clock) {
    ++changes;
    if (savePending && saveClock.lock() == clock) return false;
    savePending = true;
    saveClock = clock;
    return true;
}

bool UserDefaults::State::synchronize() {
    std::lock_guard fileLock(fileMutex);
    Value::Dictionary snapshot;
    std::uint64_t count = 0;
    fs::path path;
    {
        std::lock_guard lock(mutex);
        loadLocked();
        snapshot = values;
        count = changes;
        path = filePath();
    }
    return write(path, std::move(snapshot), count);
}

void UserDefaults::State::saveChanges() {
    std::lock_guard fileLock(fileMutex);
    Value::Dictionary snapshot;
    std::uint64_t count = 0;
    fs::path path;
    {
        std::lock_guard lock(mutex);
        if (changes == saved || !loaded) return;
        snapshot = values;
        count = changes;
        path = loadedFrom;
    }
    std::error_code error;
    if (!fs::is_directory(path.parent_path(), error)) return;
    write(path, std::move(snapshot), count);
}

bool UserDefaults::State::write(const fs::path& path, Value::Dictionary snapshot, std::uint64_t count) {
    const bool written = writeFileAtomically(path, Value(std::move(snapshot)).toStoredForm());
    if (written) {
        std::lock_guard lock(mutex);
        saved = count;
    }
    return written;
}

// On a background thread. A write that fails leaves the change unwritten;
// the next change, synchronize() or the destructor tries again.
void UserDefaults::scheduleSave(const std::shared_ptr<State>& state, const std::shared_ptr<Clock>& clock) {
    std::weak_ptr<State> weak = state;
    clock->callAt(deadlineAfter(clock->instant(), UserDefaults::kSaveDelay), [weak] {
        DispatchQueue::global(DispatchQueuePriority::Background).async([weak] {
            const std::shared_ptr<State> alive = weak.lock();
            if (!alive) return;
            {
                std::lock_guard lock(alive->mutex);
                alive->savePending = false;
            }
            alive->saveChanges();
        });
    });
}

UserDefaults& UserDefaults::standard() {
    static UserDefaults defaults([] {
        if (const Bundle* bundle = Bundle::main()) {
            if (auto id = bundle->infoValue("CFBundleIdentifier"); id && id->asString() && !id->asString()->empty()) {
                return *id->asString();
            }
        }
        return std::string("com.vekmont.app");
    }());
    return defaults;
}

UserDefaults::UserDefaults(std::string domain) : mDomain(domain), mState(std::make_shared<State>(std::move(domain))) {}

UserDefaults::~UserDefaults() { mState->saveChanges(); }

fs::path UserDefaults::filePath() const { return mState->filePath(); }

std::optional<Value> UserDefaults::object(const std::string& key) const {
    std::lock_guard lock(mState->mutex);
    mState->loadLocked();
    auto it = mState->values.find(key);
    if (it == mState->values.end()) return std::nullopt;
    return it->second;
}

void UserDefaults::setObject(const std::string& key, Value value) {
    const std::shared_ptr<Clock> clock = Clock::shared();
    bool schedule = false;
    {
        std::lock_guard lock(mState->mutex);
        mState->loadLocked();
        // Setting nothing removes the setting, as with a nil object.
        if (value.isNull()) {
            mState->values.erase(key);
        } else {
            mState->values[key] = std::move(value);
        }
        schedule = mState->changedLocked(clock);
    }
    if (schedule) scheduleSave(mState, clock);
}

void UserDefaults::removeObject(const std::string& key) { setObject(key, Value()); }

std::optional<bool> UserDefaults::boolValue(const std::string& key) const {
    auto value = object(key);
    if (!value) return std::nullopt;
    if (auto b = value->asBool()) return *b;
    if (auto i = value->asInteger()) return *i != 0;
    if (auto d = value->asReal()) {
        if (std::isnan(*d)) return std::nullopt;
        return *d != 0.0;
    }
    return std::nullopt;
}

std::optional<std::int64_t> UserDefaults::integerValue(const std::string& key) const {
    auto value = object(key);
    if (!value) return std::nullopt;
    if (value->isNumber()) return value->numberAsInteger();
    if (auto s = value->asString()) return parseWholeNumber(*s);
    return std::nullopt;
}

Value::Dictionary UserDefaults::dictionaryRepresentation() const {
    std::lock_guard lock(mState->mutex);
    mState->loadLocked();
    return mState->values;
}

bool UserDefaults::synchronize() { return mState->synchronize(); }

void UserDefaults::reload() {
    // Waits for a write under way, so that none lands after the read.
    std::lock_guard fileLock(mState->fileMutex);
    std::lock_guard lock(mState->mutex);
    mState->loaded = false;
    mState->loadLocked();
    mState->saved = mState->changes;
}

void UserDefaults::forgetForTests() {
    std::lock_guard fileLock(mState->fileMutex);
    std::lock_guard lock(mState->mutex);
    mState->loaded = false;
    mState->values.clear();
    mState->saved = mState->changes;
}

}  // namespace platform
