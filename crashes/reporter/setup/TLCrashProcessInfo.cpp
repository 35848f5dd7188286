#include "crashes/reporter/setup/TLCrashProcessInfo.h"

#include "crashes/reporter/async/TLCrashAsync.h"

#include <unistd.h>

#include <charconv>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

std::optional<std::string> readProcFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return text.str();
}

template <typename Number>
bool parseNumber(std::string_view text, Number* value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return error == std::errc() && end == text.data() + text.size();
}

// The value of the line "<key>" + blanks + number in a /proc text.
template <typename Number>
bool findKeyedNumber(const std::string& text, std::string_view key, Number* value) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, key.size(), key) != 0) continue;
        std::string_view rest(line);
        rest.remove_prefix(key.size());
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
        return parseNumber(rest, value);
    }
    return false;
}

// The fields of /proc/<pid>/stat after the name, which may hold blanks and
// parentheses of its own: the first is the state (the file's third field).
std::vector<std::string_view> fieldsAfterName(std::string_view stat) {
    std::vector<std::string_view> fields;
    const size_t close = stat.rfind(')');
    if (close == std::string_view::npos) return fields;
    std::string_view rest = stat.substr(close + 1);
    while (!rest.empty()) {
        const size_t start = rest.find_first_not_of(" \n");
        if (start == std::string_view::npos) break;
        rest.remove_prefix(start);
        const size_t end = rest.find_first_of(" \n");
        fields.push_back(rest.substr(0, end));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end);
    }
    return fields;
}

// The kernel keeps 15 bytes of a name and may cut a character in two.
std::optional<std::string> nameFromStat(std::string_view stat) {
    const size_t open = stat.find('(');
    const size_t close = stat.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) return std::nullopt;
    std::string_view name = stat.substr(open + 1, close - open - 1);
    if (name.size() > 16) name = name.substr(0, 16);
    const size_t valid = tlcrash_async_utf8_prefix_length(reinterpret_cast<const uint8_t*>(name.data()), name.size());
    if (valid == 0) return std::nullopt;
    return std::string(name.substr(0, valid));
}

// Clock ticks since boot as a time since the epoch.
bool startTimeFromTicks(unsigned long long ticks, timeval* start) {
    const std::optional<std::string> stat = readProcFile("/proc/stat");
    long long bootTime = 0;
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    if (!stat || !findKeyedNumber(*stat, "btime", &bootTime) || ticksPerSecond <= 0) return false;
    const auto perSecond = static_cast<unsigned long long>(ticksPerSecond);
    start->tv_sec = static_cast<time_t>(bootTime + static_cast<long long>(ticks / perSecond));
    start->tv_usec = static_cast<suseconds_t>((ticks % perSecond) * 1000000ULL / perSecond);
    return true;
}

}  // namespace

std::shared_ptr<TLCrashProcessInfo> TLCrashProcessInfo::currentProcessInfo() { return makeWithProcessID(getpid()); }

std::shared_ptr<TLCrashProcessInfo> TLCrashProcessInfo::makeWithProcessID(pid_t processID) {
    if (processID <= 0) return nullptr;
    const std::string folder = "/proc/" + std::to_string(processID);
    const std::optional<std::string> stat = readProcFile(folder + "/stat");
    const std::optional<std::string> status = readProcFile(folder + "/status");
    if (!stat || !status) return nullptr;

    // The parent is the file's fourth field, the start time its 22nd.
    const std::vector<std::string_view> fields = fieldsAfterName(*stat);
    pid_t parent;
    unsigned long long startTicks;
    pid_t tracer;
    timeval start{};
    if (fields.size() < 20 || !parseNumber(fields[1], &parent) || !parseNumber(fields[19], &startTicks) ||
        !findKeyedNumber(*status, "TracerPid:", &tracer) || !startTimeFromTicks(startTicks, &start)) {
        return nullptr;
    }
    return std::make_shared<TLCrashProcessInfo>(processID, nameFromStat(*stat), parent, start, tracer != 0);
}
