#include "platform/foundation/UserDefaults.h"

#include "platform/foundation/AsciiText.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Paths.h"

#include <charconv>
#include <cmath>
#include <fstream>
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

UserDefaults::UserDefaults(std::string domain) : mDomain(std::move(domain)) {}

fs::path UserDefaults::filePath() const { return Paths::preferences() / fileNameFor(mDomain); }

// A missing, unreadable or corrupt file reads as no settings; the file itself
// is left alone until the next successful synchronize().
void UserDefaults::loadLocked() const {
    if (mLoaded) return;
    mLoaded = true;
    mValues.clear();
    std::ifstream in(filePath(), std::ios::binary);
    if (!in) return;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return;
    auto stored = Value::fromStoredForm(text.str());
    if (!stored) return;
    if (auto* dict = stored->asDictionary()) mValues = std::move(*dict);
}

std::optional<Value> UserDefaults::object(const std::string& key) const {
    std::lock_guard lock(mMutex);
    loadLocked();
    auto it = mValues.find(key);
    if (it == mValues.end()) return std::nullopt;
    return it->second;
}

void UserDefaults::setObject(const std::string& key, Value value) {
    std::lock_guard lock(mMutex);
    loadLocked();
    // Setting nothing removes the setting, as with a nil object.
    if (value.isNull()) {
        mValues.erase(key);
        return;
    }
    mValues[key] = std::move(value);
}

void UserDefaults::removeObject(const std::string& key) {
    std::lock_guard lock(mMutex);
    loadLocked();
    mValues.erase(key);
}

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
    std::lock_guard lock(mMutex);
    loadLocked();
    return mValues;
}

bool UserDefaults::synchronize() {
    std::lock_guard lock(mMutex);
    loadLocked();
    return writeFileAtomically(filePath(), Value(mValues).toStoredForm());
}

void UserDefaults::reload() {
    std::lock_guard lock(mMutex);
    mLoaded = false;
    loadLocked();
}

}  // namespace platform
