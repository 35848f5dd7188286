// A localised string table from untrusted bytes (a damaged resource): the
// bundle reads it as the English table and answers for the keys its lines
// name. Lines without escapes are checked against what they say; a language
// the bundle lacks falls back to the same table.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/support/FuzzSupport.h"
#include "platform/foundation/Bundle.h"

using fuzzsupport::Require;

namespace {

const std::filesystem::path& Resources() {
    static const std::filesystem::path resources = [] {
        const std::filesystem::path path = fuzzsupport::TemporaryRoot() / "resources";
        std::filesystem::create_directories(path / "en.lproj");
        return path;
    }();
    return resources;
}

// Key and translation of every entry line whose key holds no escape; the
// translation is nullopt when it holds one. A later line wins.
std::map<std::string, std::optional<std::string>> PlainEntries(std::string_view text) {
    std::map<std::string, std::optional<std::string>> entries;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, tab);
        const std::string_view translation = line.substr(tab + 1);
        if (key.find('\\') != std::string_view::npos) continue;
        entries[std::string(key)] =
            translation.find('\\') == std::string_view::npos ? std::optional<std::string>(translation) : std::nullopt;
    }
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!fuzzsupport::WriteFile(Resources() / "en.lproj" / "Localizable.strings", data, size)) return 0;
    // A new bundle each time: a bundle keeps the tables it has read.
    platform::Bundle bundle(Resources());
    bundle.setPreferredLanguage("en");
    const auto entries = PlainEntries(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const auto& [key, translation] : entries) {
        const auto found = bundle.localizedString(key, "");
        Require(found.has_value(), "every entry's key is found");
        if (translation) Require(*found == *translation, "a plain entry reads as written");
    }
    bundle.setPreferredLanguage("xx");
    for (const auto& [key, translation] : entries) {
        Require(bundle.localizedString(key, "Localizable") == bundle.localizedString(key, ""),
                "the default table is the Localizable one");
    }
    (void)bundle.localizedString("a key no table has", "");
    return 0;
}
