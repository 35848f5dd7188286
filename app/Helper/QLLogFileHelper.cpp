#include "app/Helper/QLLogFileHelper.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include "engine/services/ZDUtils.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/TextEncoding.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kRecentLines = 250;

std::optional<std::string> readUtf8(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad() || !platform::isValidUtf8(text)) return std::nullopt;
    return text;
}

// The last `count` pieces between "\n"; a final "\n" ends in an empty piece.
std::string lastLines(const std::string& text, std::size_t count) {
    std::size_t start = text.size();
    for (std::size_t seen = 0; start > 0; --start) {
        if (text[start - 1] == '\n' && ++seen == count) break;
    }
    return text.substr(start);
}

}  // namespace

std::string QLLogFileHelper::logFilePath() {
    const fs::path library = platform::Paths::library();
    std::error_code error;
    if (!fs::is_directory(library, error)) {
        ZDUtils::logWarning("Failed to locate library directory for current user.");
        return "";
    }
    return (library / "Logs" / "Quenlor.log").string();
}

std::string QLLogFileHelper::backupLogFilePath() { return (platform::Paths::tmp() / "Quenlor.log.bak").string(); }

bool QLLogFileHelper::createCrashLogBackup() {
    std::error_code error;
    const std::string log = logFilePath();
    if (log.empty()) {
        error = std::make_error_code(std::errc::no_such_file_or_directory);
    } else {
        fs::copy_file(log, backupLogFilePath(), fs::copy_options::none, error);
    }
    if (!error) return true;
    ZDUtils::logWarningMessage("Error creating crash log backup: " + error.message());
    return false;
}

std::string QLLogFileHelper::recentLogLines() {
    const fs::path backup = backupLogFilePath();
    std::error_code error;
    const std::optional<std::string> text = readUtf8(fs::exists(backup, error) ? backup : fs::path(logFilePath()));
    if (!text) {
        ZDUtils::logWarning("Failed to read log contents as UTF-8 encoding");
        return "";
    }
    return lastLines(*text, kRecentLines);
}
