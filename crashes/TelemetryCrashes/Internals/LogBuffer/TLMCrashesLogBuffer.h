#pragma once
// The crash-time log buffer: a fixed table of 60 slots holding a copy of
// every log between the channel preparing it and its being stored, so that a
// crash in between loses nothing. All slot memory is static and preallocated;
// the crash handler writes the table to one file per slot
// ("<i>.tlcrasheslogbuffer", and "<i>.targettoken" for the encrypted target
// token) with nothing but open, write, ftruncate and close.
//
// Threads: store and free are called by one writer at a time (the crashes
// service's lock); saveAtCrash may run at any moment on any thread, and
// skips a slot that is being changed.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class TLMCrashesLogBuffer {
public:
    static constexpr std::size_t kSlotCount = 60;
    // A log whose archive is larger is not buffered.
    static constexpr std::size_t kLogCapacity = 32 * 1024;
    static constexpr std::size_t kTokenCapacity = 2 * 1024;
    static constexpr std::size_t kIdCapacity = 64;
    static constexpr std::size_t kPathCapacity = 1024;
    static constexpr const char* kLogExtension = "tlcrasheslogbuffer";
    static constexpr const char* kTokenExtension = "targettoken";

    // Fixes every slot's two paths in `directory` and empties the table;
    // false when a path does not fit.
    static bool setup(const std::filesystem::path& directory);
    static std::filesystem::path logPath(std::size_t index);
    static std::filesystem::path tokenPath(std::size_t index);

    struct Stored {
        std::size_t index;
        bool overwrote;  // the oldest slot was replaced
    };
    // Copies the log into the first free slot, or over the one buffered
    // earliest (the lower index among equal times). None when the bytes do
    // not fit a slot.
    static std::optional<Stored> store(const std::vector<std::uint8_t>& archive, const std::string& token,
                                       const std::string& internalId, double timestamp);
    // Frees every slot holding that id; the indices freed.
    static std::vector<std::size_t> free(const std::string& internalId);
    static std::size_t usedSlots();

    // Async-signal-safe: writes every slot to its files.
    static void saveAtCrash();
    static bool savedAtCrash();
    // Forgets the crash write (tests).
    static void resetSavedAtCrash();
};
