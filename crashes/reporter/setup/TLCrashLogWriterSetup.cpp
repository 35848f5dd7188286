#include "crashes/reporter/setup/TLCrashLogWriterSetup.h"

#include "crashes/reporter/setup/TLCrashHostInfo.h"
#include "crashes/reporter/setup/TLCrashLog.h"
#include "crashes/reporter/setup/TLCrashProcessInfo.h"
#include "crashes/reporter/setup/TLCrashUncaughtException.h"
#include "platform/foundation/UUID.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <utility>

namespace {

tlcrash_log_writer_string copyString(const std::string& text) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) return {0, nullptr};
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return {text.size(), copy};
}

void freeString(tlcrash_log_writer_string* s) {
    std::free(s->value);
    *s = {0, nullptr};
}

// At most TLCRASH_MAX_EXCEPTION_TEXT bytes, cut at a character boundary.
char* copyExceptionText(const std::string& text) {
    const size_t room = text.size() < TLCRASH_MAX_EXCEPTION_TEXT ? text.size() : TLCRASH_MAX_EXCEPTION_TEXT;
    size_t length = room;
    if (room < text.size()) {
        while (length > 0 && (static_cast<uint8_t>(text[length]) & 0xC0) == 0x80) --length;
    }
    return copyString(text.substr(0, length)).value;
}

uint32_t physicalCores() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::set<std::pair<std::string, std::string>> cores;
    std::string line, physical;
    while (std::getline(cpuinfo, line)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string key = line.substr(0, line.find_last_not_of(" \t", colon - 1) + 1);
        const std::string value = colon + 2 <= line.size() ? line.substr(colon + 2) : "";
        if (key == "physical id") physical = value;
        if (key == "core id") cores.insert({physical, value});
    }
    return static_cast<uint32_t>(cores.size());
}

void uuidBytes(uint8_t out[16]) {
    const std::string text = platform::newUUIDString();
    size_t n = 0;
    for (size_t i = 0; i + 1 < text.size() && n < 16;) {
        if (text[i] == '-') {
            ++i;
            continue;
        }
        out[n++] = static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16));
        i += 2;
    }
}

}  // namespace

tlcrash_error_t tlcrash_log_writer_init(tlcrash_log_writer* writer, const std::string& identifier,
                                        const std::string& version, const std::string* marketing_version,
                                        uint32_t symbolication_strategy, bool user_requested) {
    std::memset(writer, 0, sizeof *writer);
    writer->symbolication_strategy = symbolication_strategy;
    writer->report_info.user_requested = user_requested;
    uuidBytes(writer->report_info.uuid);
    writer->application_info.identifier = copyString(identifier);
    writer->application_info.version = copyString(version);
    writer->application_info.marketing_version = copyString(marketing_version != nullptr ? *marketing_version : "");

    const auto process = TLCrashProcessInfo::currentProcessInfo();
    if (process == nullptr) return TLCRASH_ERR_INVAL;
    auto& p = writer->process_info;
    p.process_id = process->processID();
    p.process_name = copyString(process->processName().value_or(""));
    p.start_time = process->startTime().tv_sec;
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    // The path as the kernel gives it, without a terminating zero byte.
    p.process_path = copyString(length > 0 ? std::string(path, static_cast<size_t>(length)) : "");
    p.parent_process_id = process->parentProcessID();
    const auto parent = TLCrashProcessInfo::makeWithProcessID(process->parentProcessID());
    p.parent_process_name = copyString(parent != nullptr ? parent->processName().value_or("") : "");
    p.native = true;

    utsname names{};
    if (uname(&names) == 0) {
        writer->machine_info.model = copyString(names.machine);
        writer->system_info.os_build = copyString(names.version);
    }
    const auto host = TLCrashHostInfo::currentHostInfo();
    const TLCrashHostVersion kernel = host != nullptr ? host->darwinVersion() : TLCrashHostVersion{};
    std::string osVersion = std::to_string(kernel.major) + "." + std::to_string(kernel.minor);
    if (kernel.revision >= 1) osVersion += "." + std::to_string(kernel.revision);
    writer->system_info.os_version = copyString(osVersion);
    writer->machine_info.cpu_type = 0x1000007;  // x86-64 in the report's numbering
    writer->machine_info.cpu_subtype = 3;
    const long logical = sysconf(_SC_NPROCESSORS_CONF);
    writer->machine_info.logical_processor_count = logical > 0 ? static_cast<uint32_t>(logical) : 0;
    const uint32_t physical = physicalCores();
    writer->machine_info.processor_count = physical > 0 ? physical : writer->machine_info.logical_processor_count;
    std::atomic_thread_fence(std::memory_order_seq_cst);
    return TLCRASH_ERR_NONE;
}

void tlcrash_log_writer_set_custom_data(tlcrash_log_writer* writer, const std::vector<uint8_t>* data) {
    std::free(writer->custom_data.data);
    writer->custom_data = {0, nullptr};
    if (data != nullptr) {
        auto* copy = static_cast<uint8_t*>(std::malloc(data->size() + 1));
        if (copy != nullptr) {
            if (!data->empty()) std::memcpy(copy, data->data(), data->size());
            writer->custom_data = {data->size(), copy};
        }
    }
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

void tlcrash_log_writer_set_exception(tlcrash_log_writer* writer, const TLCrashUncaughtException& exception) {
    TLCRASH_ASSERT(writer->uncaught_exception.has_exception == false);
    auto& e = writer->uncaught_exception;
    e.name = copyExceptionText(exception.name());
    e.reason = copyExceptionText(exception.reason());
    const std::vector<uint64_t> frames = exception.callStackReturnAddresses();
    if (!frames.empty()) {
        e.call_stack = static_cast<uint64_t*>(std::malloc(frames.size() * sizeof(uint64_t)));
        if (e.call_stack != nullptr) {
            std::memcpy(e.call_stack, frames.data(), frames.size() * sizeof(uint64_t));
            e.call_stack_count = frames.size();
        }
    }
    std::atomic_thread_fence(std::memory_order_seq_cst);
    e.has_exception = true;
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

void tlcrash_log_writer_free(tlcrash_log_writer* writer) {
    freeString(&writer->system_info.os_version);
    freeString(&writer->system_info.os_build);
    freeString(&writer->machine_info.model);
    freeString(&writer->application_info.identifier);
    freeString(&writer->application_info.version);
    freeString(&writer->application_info.marketing_version);
    freeString(&writer->process_info.process_name);
    freeString(&writer->process_info.process_path);
    freeString(&writer->process_info.parent_process_name);
    auto& e = writer->uncaught_exception;
    std::free(e.name);
    std::free(e.reason);
    std::free(e.call_stack);
    e = {false, nullptr, nullptr, nullptr, 0};
    std::free(writer->custom_data.data);
    writer->custom_data = {0, nullptr};
}
