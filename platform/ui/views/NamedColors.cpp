#include "platform/ui/views/NamedColors.h"

#include "platform/foundation/Bundle.h"

#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace platform::ui {

namespace {

using Table = std::map<std::string, Color>;

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<Color> parseHex(const std::string& text) {
    if (text.size() != 7 && text.size() != 9) return std::nullopt;
    if (text[0] != '#') return std::nullopt;
    double parts[4] = {0, 0, 0, 1};
    for (std::size_t i = 0; i * 2 + 1 < text.size(); ++i) {
        const int high = hexDigit(text[1 + i * 2]);
        const int low = hexDigit(text[2 + i * 2]);
        if (high < 0 || low < 0) return std::nullopt;
        parts[i] = (high * 16 + low) / 255.0;
    }
    return Color{parts[0], parts[1], parts[2], parts[3]};
}

Table load(const std::filesystem::path& path) {
    Table table;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("//", 0) == 0) continue;
        std::istringstream fields(line);
        std::string name;
        std::string value;
        std::string rest;
        if (!(fields >> name >> value) || (fields >> rest)) continue;
        if (auto color = parseHex(value)) table[name] = *color;
    }
    return table;
}

}  // namespace

std::optional<Color> colorNamed(const std::string& name) {
    Bundle* bundle = Bundle::main();
    return bundle != nullptr ? colorNamed(name, *bundle) : std::nullopt;
}

std::optional<Color> colorNamed(const std::string& name, const Bundle& bundle) {
    static std::mutex mutex;
    static std::map<std::filesystem::path, Table> tables;
    const auto path = bundle.resourcesPath() / "Colors.txt";
    std::lock_guard lock(mutex);
    auto found = tables.find(path);
    if (found == tables.end()) found = tables.emplace(path, load(path)).first;
    const auto color = found->second.find(name);
    if (color == found->second.end()) return std::nullopt;
    return color->second;
}

}  // namespace platform::ui
