#pragma once
// Typed key-value settings of one domain, persisted under
// Library/Preferences/<domain>.json. Writes go to memory at once and reach
// the file on their own soon after (kSaveDelay, one write for a burst of
// changes), so a setting survives a kill or a crash a moment later, not only
// an orderly exit. synchronize() writes at once. Every write replaces the
// file atomically (temp file, then rename): a crash never leaves a
// half-written file. Thread-safe.

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Value.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace platform {

class UserDefaults {
public:
    // How long a change waits on Clock::shared() before it is written. Short
    // enough that little is lost to a kill, long enough that a slider's or a
    // migration's run of changes makes one write.
    static constexpr std::chrono::milliseconds kSaveDelay{250};

    // The current application's domain (the bundle identifier).
    static UserDefaults& standard();

    // A domain of its own (for example a client library's suite).
    explicit UserDefaults(std::string domain);
    // Writes what is not written yet (as the writes on their own do: to the
    // file the values were read from, while its folder is there).
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    const std::string& domain() const { return mDomain; }

    std::optional<Value> object(const std::string& key) const;
    void setObject(const std::string& key, Value value);
    void removeObject(const std::string& key);
    // Every key of the domain with its value.
    Value::Dictionary dictionaryRepresentation() const;

    // Reads that report whether the key held a usable value of the type.
    // A bool reads from a bool or a number (non-zero); an integer from an
    // integer, a real (truncated) or a text holding a whole number.
    std::optional<bool> boolValue(const std::string& key) const;
    std::optional<std::int64_t> integerValue(const std::string& key) const;

    void setBool(const std::string& key, bool value) { setObject(key, Value(value)); }
    void setInteger(const std::string& key, std::int64_t value) { setObject(key, Value(value)); }
    void setDouble(const std::string& key, double value) { setObject(key, Value(value)); }
    void setString(const std::string& key, std::string value) { setObject(key, Value(std::move(value))); }

    // Writes the domain's file now; false when it could not be written.
    bool synchronize();

    // Forgets the in-memory state, changes not written yet included, and
    // reads the file again (tests use it to stand for a restart).
    void reload();
    // Forgets the in-memory state as reload does, but reads the file (and
    // makes its folder) only at the next use, as a new process does. For
    // tests that run one after another in a process.
    void forgetForTests();

    std::filesystem::path filePath() const;

private:
    struct State;
    // Writes the domain once kSaveDelay has passed on `clock`.
    static void scheduleSave(const std::shared_ptr<State>& state, const std::shared_ptr<Clock>& clock);

    std::string mDomain;
    // Shared with the delayed writes, which hold it weakly: one that falls
    // due after the object has gone does nothing.
    std::shared_ptr<State> mState;
};

}  // namespace platform
