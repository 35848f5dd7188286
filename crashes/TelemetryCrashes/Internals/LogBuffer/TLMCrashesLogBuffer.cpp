#include "crashes/TelemetryCrashes/Internals/LogBuffer/TLMCrashesLogBuffer.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>

namespace {

struct Slot {
    // Odd while the slot is being changed; the crash write skips it then.
    std::atomic<std::uint32_t> sequence{0};
    char logPath[TLMCrashesLogBuffer::kPathCapacity];
    char tokenPath[TLMCrashesLogBuffer::kPathCapacity];
    std::size_t logLength;
    std::uint8_t log[TLMCrashesLogBuffer::kLogCapacity];
    std::size_t tokenLength;
    char token[TLMCrashesLogBuffer::kTokenCapacity];
    std::size_t idLength;
    char internalId[TLMCrashesLogBuffer::kIdCapacity];
    double timestamp;
};

Slot gSlots[TLMCrashesLogBuffer::kSlotCount];
std::atomic<bool> gSavedAtCrash{false};
std::atomic<bool> gReady{false};

void beginChange(Slot& slot) {
    slot.sequence.fetch_add(1, std::memory_order_acq_rel);
    std::atomic_thread_fence(std::memory_order_release);
}

void endChange(Slot& slot) {
    std::atomic_thread_fence(std::memory_order_release);
    slot.sequence.fetch_add(1, std::memory_order_acq_rel);
}

// write() may take fewer bytes than asked; a signal may interrupt it.
bool writeAll(int fd, const void* bytes, std::size_t length) {
    const auto* cursor = static_cast<const std::uint8_t*>(bytes);
    while (length > 0) {
        const ssize_t written = write(fd, cursor, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) return false;
        cursor += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

bool copyPath(char (&target)[TLMCrashesLogBuffer::kPathCapacity], const std::string& path) {
    if (path.size() + 1 > sizeof target) return false;
    std::memcpy(target, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

bool TLMCrashesLogBuffer::setup(const std::filesystem::path& directory) {
    gReady = false;
    for (std::size_t i = 0; i < kSlotCount; ++i) {
        Slot& slot = gSlots[i];
        beginChange(slot);
        const std::string base = (directory / std::to_string(i)).string();
        const bool fits = copyPath(slot.logPath, base + "." + kLogExtension) &&
                          copyPath(slot.tokenPath, base + "." + kTokenExtension);
        slot.logLength = 0;
        slot.tokenLength = 0;
        slot.idLength = 0;
        slot.timestamp = 0;
        endChange(slot);
        if (!fits) return false;
    }
    gReady = true;
    return true;
}

std::filesystem::path TLMCrashesLogBuffer::logPath(std::size_t index) { return gSlots[index].logPath; }

std::filesystem::path TLMCrashesLogBuffer::tokenPath(std::size_t index) { return gSlots[index].tokenPath; }

std::optional<TLMCrashesLogBuffer::Stored> TLMCrashesLogBuffer::store(const std::vector<std::uint8_t>& archive,
                                                                      const std::string& token,
                                                                      const std::string& internalId, double timestamp) {
    if (!gReady || archive.empty() || archive.size() > kLogCapacity || token.size() > kTokenCapacity ||
        internalId.empty() || internalId.size() > kIdCapacity) {
        return std::nullopt;
    }
    std::optional<std::size_t> chosen;
    std::size_t oldest = 0;
    double oldestTime = std::numeric_limits<double>::max();
    for (std::size_t i = 0; i < kSlotCount; ++i) {
        if (gSlots[i].logLength == 0) {
            chosen = i;
            break;
        }
        if (gSlots[i].timestamp < oldestTime) {
            oldestTime = gSlots[i].timestamp;
            oldest = i;
        }
    }
    const bool overwrote = !chosen;
    Slot& slot = gSlots[chosen.value_or(oldest)];
    beginChange(slot);
    std::memcpy(slot.log, archive.data(), archive.size());
    slot.logLength = archive.size();
    std::memcpy(slot.token, token.data(), token.size());
    slot.tokenLength = token.size();
    std::memcpy(slot.internalId, internalId.data(), internalId.size());
    slot.idLength = internalId.size();
    slot.timestamp = timestamp;
    endChange(slot);
    return Stored{chosen.value_or(oldest), overwrote};
}

std::vector<std::size_t> TLMCrashesLogBuffer::free(const std::string& internalId) {
    std::vector<std::size_t> freed;
    if (internalId.empty()) return freed;
    for (std::size_t i = 0; i < kSlotCount; ++i) {
        Slot& slot = gSlots[i];
        if (slot.idLength != internalId.size() || std::memcmp(slot.internalId, internalId.data(), slot.idLength) != 0) {
            continue;
        }
        beginChange(slot);
        slot.logLength = 0;
        slot.tokenLength = 0;
        slot.idLength = 0;
        slot.timestamp = 0;
        endChange(slot);
        freed.push_back(i);
    }
    return freed;
}

std::size_t TLMCrashesLogBuffer::usedSlots() {
    std::size_t used = 0;
    for (const Slot& slot : gSlots) used += slot.logLength > 0 ? 1 : 0;
    return used;
}

void TLMCrashesLogBuffer::saveAtCrash() {
    gSavedAtCrash.store(true);
    if (!gReady.load()) return;
    for (Slot& slot : gSlots) {
        const std::uint32_t before = slot.sequence.load(std::memory_order_acquire);
        // A slot in the middle of a change holds no whole log.
        if ((before & 1) != 0) continue;
        const int fd = open(slot.logPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) continue;
        bool whole = writeAll(fd, slot.log, slot.logLength);
        std::atomic_thread_fence(std::memory_order_acquire);
        // Changed while it was being written: what went out is no one log.
        if (slot.sequence.load(std::memory_order_acquire) != before) whole = false;
        if (!whole) (void)ftruncate(fd, 0);
        close(fd);
        // The token file always follows its log file, so that a token of an
        // earlier log never goes with this one.
        const bool withToken = whole && slot.logLength > 0 && slot.tokenLength > 0;
        const int tokenFd =
            open(slot.tokenPath,
                 withToken ? (O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC) : (O_WRONLY | O_TRUNC | O_CLOEXEC), 0644);
        if (tokenFd < 0) continue;
        if (withToken && (!writeAll(tokenFd, slot.token, slot.tokenLength) ||
                          slot.sequence.load(std::memory_order_acquire) != before)) {
            (void)ftruncate(tokenFd, 0);
        }
        close(tokenFd);
    }
}

bool TLMCrashesLogBuffer::savedAtCrash() { return gSavedAtCrash.load(); }

void TLMCrashesLogBuffer::resetSavedAtCrash() { gSavedAtCrash.store(false); }
