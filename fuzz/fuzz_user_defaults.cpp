// A settings file from untrusted bytes (a damaged or edited preferences
// file): the defaults read it, answer for every key it holds as they would
// for the app, take a change, and write the file again, which must read
// back with the same settings.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/support/FuzzSupport.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/foundation/Value.h"

using fuzzsupport::Require;
using platform::UserDefaults;
using platform::Value;

namespace {

constexpr const char* kDomain = "com.vekmont.fuzz";

void SetUp() {
    static const bool ready = [] {
        platform::Paths::setRoot(fuzzsupport::TemporaryRoot());
        return true;
    }();
    (void)ready;
}

// The settings the file holds, read the way the defaults read it.
Value::Dictionary SettingsIn(const std::string& text) {
    const auto stored = Value::fromStoredForm(text);
    if (!stored || !stored->isDictionary()) return {};
    return *stored->asDictionary();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SetUp();
    UserDefaults defaults(kDomain);
    if (!fuzzsupport::WriteFile(defaults.filePath(), data, size)) return 0;
    defaults.reload();

    Value::Dictionary settings = SettingsIn(fuzzsupport::Text(data, size));
    for (const auto& [key, expected] : settings) {
        const auto value = defaults.object(key);
        Require(value.has_value() && fuzzsupport::SameValue(*value, expected), "every setting reads as stored");
        const auto flag = defaults.boolValue(key);
        if (expected.isBool()) Require(flag == *expected.asBool(), "a bool reads as itself");
        const auto number = defaults.integerValue(key);
        if (expected.isInteger()) Require(number == *expected.asInteger(), "an integer reads as itself");
    }

    // A change, then the file written and read again as after a restart.
    defaults.setInteger("fuzz.changed", 7);
    settings["fuzz.changed"] = Value(7);
    if (!settings.empty()) {
        const std::string removed = settings.begin()->first;
        defaults.removeObject(removed);
        settings.erase(removed);
    }
    Require(defaults.synchronize(), "the settings file is written");
    defaults.reload();
    for (const auto& [key, expected] : settings) {
        const auto value = defaults.object(key);
        Require(value.has_value() && fuzzsupport::SameValue(*value, expected), "a written setting reads back");
    }
    return 0;
}
