#pragma once
// Typed key-value settings of one domain, persisted under
// Library/Preferences/<domain>.json. Writes go to memory at once;
// synchronize() writes the file atomically (temp file, then rename), so a
// setting survives a restart and a crash never leaves a half-written file.
// Thread-safe.

#include "platform/foundation/Value.h"

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace platform {

class UserDefaults {
public:
    // The current application's domain (the bundle identifier).
    static UserDefaults& standard();

    // A domain of its own (for example a client library's suite).
    explicit UserDefaults(std::string domain);

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

    // Writes the domain's file; false when it could not be written.
    bool synchronize();

    // Forgets the in-memory state and reads the file again (tests use it to
    // stand for a restart).
    void reload();

    std::filesystem::path filePath() const;

private:
    void loadLocked() const;

    std::string mDomain;
    mutable std::mutex mMutex;
    mutable bool mLoaded = false;
    mutable Value::Dictionary mValues;
};

}  // namespace platform
