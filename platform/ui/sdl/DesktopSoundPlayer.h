#pragma once
// Interface sounds on the desktop: WAV files played through SDL's default
// audio device. Sounds are kept as 16-bit mono samples at 44,100 Hz; the
// device is opened with that format on the first activation (SDL converts
// for the hardware). A new sound replaces one still playing: interface
// sounds are short and the latest is the one that answers the user. The
// keyboard click is a tick made here. Without an audio device (or driver)
// everything plays silently. Main thread only.

#include "platform/ui/views/SoundPlayer.h"

#include <cstdint>
#include <map>
#include <vector>

namespace platform::ui::sdl {

class DesktopSoundPlayer : public SoundPlayer {
public:
    static constexpr int kSampleRate = 44100;

    DesktopSoundPlayer();
    ~DesktopSoundPlayer() override;
    DesktopSoundPlayer(const DesktopSoundPlayer&) = delete;
    DesktopSoundPlayer& operator=(const DesktopSoundPlayer&) = delete;

    // Opens the device once; a failure is remembered, not retried.
    void activateAmbientSession() override;
    // Reads a WAV file of any format SDL knows into the kept format.
    std::optional<SoundID> createSound(const std::filesystem::path& file) override;
    void playSound(SoundID sound, double volume) override;

    bool isOpen() const { return mDevice != 0; }
    // Bytes handed to the device and not yet played.
    std::uint32_t queuedBytes() const;

private:
    std::map<SoundID, std::vector<std::int16_t>> mSounds;
    SoundID mNext = 1;
    std::uint32_t mDevice = 0;
    bool mTried = false;
    bool mAudioStarted = false;
};

}  // namespace platform::ui::sdl
