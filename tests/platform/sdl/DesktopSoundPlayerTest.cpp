// The desktop sound player on SDL's disk audio driver, which writes what
// the device plays to a file: the app's own sound at the volume asked, the
// click, and silence for what is unknown or unreadable.

#include "platform/foundation/Bundle.h"
#include "platform/foundation/TemporaryFolder.h"
#include "platform/ui/sdl/DesktopSoundPlayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

using platform::ui::SoundPlayer;
using platform::ui::sdl::DesktopSoundPlayer;

namespace {

// The loudest sample SDL wrote to `file`.
int Peak(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    int peak = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::int16_t sample;
        std::copy_n(bytes.data() + i, 2, reinterpret_cast<char*>(&sample));
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    return peak;
}

// Plays what `play` starts to the end and returns the peak of the output.
template <typename Play>
int PeakOfPlaying(const std::filesystem::path& output, Play play) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
    {
        DesktopSoundPlayer player;
        player.activateAmbientSession();
        if (!player.isOpen()) return -1;
        play(player);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (player.queuedBytes() > 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return Peak(output);
}

}  // namespace

TEST(DesktopSoundPlayer, PlaysTheAppsWaveFilesAtTheVolumeAskedAndTheClick) {
    ASSERT_NE(platform::Bundle::main(), nullptr);
    const std::filesystem::path whop = platform::Bundle::main()->resourcesPath() / "sounds" / "ui-sound-whop.aiff";
    platform::TemporaryFolder folder("sound-test");

    // The whop is a sweep at 0.6 of full scale.
    const int full = PeakOfPlaying(folder.path() / "full.raw", [&](DesktopSoundPlayer& player) {
        const auto sound = player.createSound(whop);
        ASSERT_TRUE(sound.has_value());
        EXPECT_NE(*sound, SoundPlayer::kKeyboardClick);
        player.playSound(*sound, 1.0);
    });
    if (full < 0) GTEST_SKIP() << "SDL has no disk audio driver here";
    EXPECT_NEAR(full, 0.6 * 32767, 0.03 * 32767);

    const int half = PeakOfPlaying(folder.path() / "half.raw", [&](DesktopSoundPlayer& player) {
        player.playSound(*player.createSound(whop), 0.5);
    });
    EXPECT_NEAR(half, full / 2, 2);

    const int click = PeakOfPlaying(folder.path() / "click.raw", [](DesktopSoundPlayer& player) {
        player.playSound(SoundPlayer::kKeyboardClick, 1.0);
    });
    EXPECT_GT(click, 0.3 * 32767);

    // Not a sound file, no file, an identifier never given: silence.
    std::ofstream(folder.path() / "text.wav") << "not a sound";
    const int silent = PeakOfPlaying(folder.path() / "silent.raw", [&](DesktopSoundPlayer& player) {
        EXPECT_EQ(player.createSound(folder.path() / "text.wav"), std::nullopt);
        EXPECT_EQ(player.createSound(folder.path() / "missing.wav"), std::nullopt);
        player.playSound(4242, 1.0);
    });
    EXPECT_EQ(silent, 0);
}

TEST(DesktopSoundPlayer, WithoutASoundCardSaysSoInOneLine) {
    // ALSA pointed at a card that is not there: its device search fails
    // the way it does on a machine without sound.
    platform::TemporaryFolder folder("sound-test");
    const std::filesystem::path config = folder.path() / "asound.conf";
    std::ofstream(config) << "pcm.!default { type hw card \"nosuchcard\" }\n";
    setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    testing::internal::CaptureStderr();
    {
        DesktopSoundPlayer player;
        player.activateAmbientSession();
        player.activateAmbientSession();
        EXPECT_FALSE(player.isOpen());
        player.playSound(SoundPlayer::kKeyboardClick, 1.0);
    }
    const std::string said = testing::internal::GetCapturedStderr();
    unsetenv("ALSA_CONFIG_PATH");
    unsetenv("SDL_AUDIODRIVER");
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(said.rfind("vekmont: no sound: ", 0), 0u) << said;
}
