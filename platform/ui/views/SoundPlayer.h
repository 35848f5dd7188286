#pragma once
// Short interface sounds as the app hands them to the system: a sound file
// becomes an identifier once, then plays by identifier. A program with a
// sound device gives the app a player (the desktop one plays through SDL);
// without one the app stays silent. The system's keyboard click is always
// there as kKeyboardClick. Main thread only.

#include <cstdint>
#include <filesystem>
#include <optional>

namespace platform::ui {

class SoundPlayer {
public:
    using SoundID = std::uint32_t;
    // The system's keyboard click, as the platform numbers it.
    static constexpr SoundID kKeyboardClick = 1104;

    virtual ~SoundPlayer() = default;

    // Readies the output for quiet interface sounds that mix with whatever
    // else plays. Failures are not reported: the sounds then stay silent.
    virtual void activateAmbientSession() = 0;
    // An identifier for the sound in `file` (never kKeyboardClick); nullopt
    // when it cannot be read.
    virtual std::optional<SoundID> createSound(const std::filesystem::path& file) = 0;
    // Starts `sound` at `volume` (0 to 1); an unknown identifier plays
    // nothing.
    virtual void playSound(SoundID sound, double volume) = 0;
};

}  // namespace platform::ui
