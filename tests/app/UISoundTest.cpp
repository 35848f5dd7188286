// Interface sounds: the shipped resources, the volume setting that keeps
// them quiet, the click that stands in for a sound that cannot be read, and
// the record of what played.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/Utilities/VKMUISound.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/views/Application.h"

namespace {

using SoundID = platform::ui::SoundPlayer::SoundID;

// Hands out identifiers from 50 on for the files it was told it can read,
// and keeps every call.
class RecordingPlayer : public platform::ui::SoundPlayer {
public:
    void activateAmbientSession() override { ++activations; }
    std::optional<SoundID> createSound(const std::filesystem::path& file) override {
        created.push_back(file.filename().string());
        if (unreadable.count(file.filename().string()) != 0) return std::nullopt;
        return next++;
    }
    void playSound(SoundID sound, double volume) override { played.emplace_back(sound, volume); }

    int activations = 0;
    SoundID next = 50;
    std::set<std::string> unreadable;
    std::vector<std::string> created;
    std::vector<std::pair<SoundID, double>> played;
};

const std::vector<std::string>& Played() { return platform::ui::Application::sharedApplication().playedSounds(); }

}  // namespace

TEST(UISound, EveryShippedSoundIsAWaveFileTheAppFindsByItsName) {
    ASSERT_NE(platform::Bundle::main(), nullptr);
    const std::filesystem::path folder = platform::Bundle::main()->resourcesPath() / "sounds";
    for (const char* file :
         {"ui-sound-liked-new.aiff", "ui-sound-tap.aif", "ui-sound-whop.aiff", "ui-sound-burr.aiff"}) {
        std::ifstream in(folder / file, std::ios::binary);
        char header[12] = {};
        in.read(header, sizeof header);
        ASSERT_TRUE(in) << file;
        EXPECT_EQ(std::string(header, 4), "RIFF") << file;
        EXPECT_EQ(std::string(header + 8, 4), "WAVE") << file;
    }

    // Headless: the sounds are found, nothing is heard, all is recorded.
    VKMUISound::playLayoutLikedSound();
    VKMUISound::playActionButtonTappedSound();
    VKMUISound::playWhopSound();
    VKMUISound::playMechanicBurrSound();
    VKMUISound::playSystemBeepSound();
    EXPECT_EQ(Played(), (std::vector<std::string>{"ui-sound-liked-new", "ui-sound-tap", "ui-sound-whop",
                                                  "ui-sound-burr", VKMUISound::kKeyboardClickName}));
    for (const auto& [name, sound] : VKMUISound::sharedInstance().soundToIdMap()) {
        EXPECT_NE(sound, platform::ui::SoundPlayer::kKeyboardClick) << name;
    }
}

TEST(UISound, ASoundIsLookedUpOnceAndAnUnreadableOneIsTheClickForGood) {
    auto player = std::make_shared<RecordingPlayer>();
    player->unreadable = {"ui-sound-whop.aiff"};
    VKMUISound::setSoundPlayer(player);

    VKMUISound::playActionButtonTappedSound();
    VKMUISound::playActionButtonTappedSound();
    VKMUISound::playWhopSound();
    VKMUISound::playWhopSound();
    EXPECT_EQ(player->created, (std::vector<std::string>{"ui-sound-tap.aif", "ui-sound-whop.aiff"}));
    EXPECT_EQ(player->played,
              (std::vector<std::pair<SoundID, double>>{{50, 1.0}, {50, 1.0}, {1104, 1.0}, {1104, 1.0}}));
    EXPECT_EQ(VKMUISound::sharedInstance().soundToIdMap().at("ui-sound-whop"), 1104u);
    EXPECT_EQ(Played(), (std::vector<std::string>{"ui-sound-tap", "ui-sound-tap", VKMUISound::kKeyboardClickName,
                                                  VKMUISound::kKeyboardClickName}));
    EXPECT_EQ(player->activations, 4);

    // Another player's identifiers are its own: the sounds are looked up again.
    auto next = std::make_shared<RecordingPlayer>();
    next->next = 70;
    VKMUISound::setSoundPlayer(next);
    VKMUISound::playActionButtonTappedSound();
    EXPECT_EQ(next->played, (std::vector<std::pair<SoundID, double>>{{70, 1.0}}));
    EXPECT_EQ(player->played.size(), 4u);
}

TEST(UISound, TheUsersVolumeSettingGatesEverySoundButTheSessionIsStillReadied) {
    auto player = std::make_shared<RecordingPlayer>();
    VKMUISound::setSoundPlayer(player);
    platform::UserDefaults& defaults = platform::UserDefaults::standard();

    struct Case {
        const char* name;
        std::optional<platform::Value> setting;
        std::optional<double> heardAt;
    };
    const Case cases[] = {
        {"unset is full volume", std::nullopt, 1.0},
        {"half", platform::Value(0.5), 0.5},
        {"off", platform::Value(0.0), std::nullopt},
        {"at the threshold", platform::Value(0.01), std::nullopt},
        {"just above it", platform::Value(0.02), 0.02},
        {"a whole number", platform::Value(std::int64_t{1}), 1.0},
        {"above full is full", platform::Value(3.0), 1.0},
        {"negative is off", platform::Value(-1.0), std::nullopt},
        {"not a number counts as unset", platform::Value(std::string("loud")), 1.0},
        {"NaN is off", platform::Value(std::nan("")), std::nullopt},
    };
    for (const Case& c : cases) {
        if (c.setting) {
            defaults.setObject(VKMUISound::kVolumeKey, *c.setting);
        } else {
            defaults.removeObject(VKMUISound::kVolumeKey);
        }
        player->played.clear();
        platform::ui::Application::sharedApplication().clearRecords();
        const int activations = player->activations;
        VKMUISound::playMechanicBurrSound();
        VKMUISound::playSystemBeepSound();
        EXPECT_EQ(player->activations, activations + 2) << c.name;
        if (c.heardAt) {
            EXPECT_EQ(player->played, (std::vector<std::pair<SoundID, double>>{{50, *c.heardAt}, {1104, *c.heardAt}}))
                << c.name;
            EXPECT_EQ(Played(), (std::vector<std::string>{"ui-sound-burr", VKMUISound::kKeyboardClickName})) << c.name;
        } else {
            EXPECT_TRUE(player->played.empty()) << c.name;
            EXPECT_TRUE(Played().empty()) << c.name;
        }
    }
}
