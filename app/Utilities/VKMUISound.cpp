#include "app/Utilities/VKMUISound.h"

#include <algorithm>
#include <system_error>

#include "platform/dispatch/MainThread.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/views/Application.h"

namespace {

// Below this the user has turned the sounds off.
constexpr double kAudibleVolume = 0.01;

// Without a sound device: every readable file gets an identifier of its
// own and nothing is heard.
class SilentSoundPlayer : public platform::ui::SoundPlayer {
public:
    void activateAmbientSession() override {}
    std::optional<SoundID> createSound(const std::filesystem::path& file) override {
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
        return mNext++;
    }
    void playSound(SoundID, double) override {}

private:
    SoundID mNext = 1;
};

double interfaceVolume() {
    const std::optional<platform::Value> value = platform::UserDefaults::standard().object(VKMUISound::kVolumeKey);
    const std::optional<double> volume = value ? value->numberAsDouble() : std::nullopt;
    if (!volume) return 1.0;
    // NaN and below nothing are off.
    return *volume >= 0 ? std::min(*volume, 1.0) : 0.0;
}

}  // namespace

VKMUISound::VKMUISound() : mPlayer(std::make_shared<SilentSoundPlayer>()) {}

VKMUISound& VKMUISound::sharedInstance() {
    static VKMUISound instance;
    return instance;
}

void VKMUISound::setSoundPlayer(std::shared_ptr<platform::ui::SoundPlayer> player) {
    platform::requireMainThread("VKMUISound::setSoundPlayer");
    VKMUISound& sound = sharedInstance();
    sound.mPlayer = player ? std::move(player) : std::make_shared<SilentSoundPlayer>();
    sound.mSoundToIdMap.clear();
}

void VKMUISound::playLayoutLikedSound() { sharedInstance().playResource("ui-sound-liked-new", "aiff"); }
void VKMUISound::playActionButtonTappedSound() { sharedInstance().playResource("ui-sound-tap", "aif"); }
void VKMUISound::playWhopSound() { sharedInstance().playResource("ui-sound-whop", "aiff"); }
void VKMUISound::playMechanicBurrSound() { sharedInstance().playResource("ui-sound-burr", "aiff"); }

void VKMUISound::playSystemBeepSound() {
    platform::requireMainThread("VKMUISound::playSystemBeepSound");
    sharedInstance().play(platform::ui::SoundPlayer::kKeyboardClick, kKeyboardClickName);
}

void VKMUISound::playResource(const std::string& name, const std::string& type) {
    platform::requireMainThread("VKMUISound::playResource");
    auto found = mSoundToIdMap.find(name);
    if (found == mSoundToIdMap.end()) {
        std::optional<SoundID> sound;
        if (platform::Bundle* bundle = platform::Bundle::main()) {
            sound = mPlayer->createSound(bundle->resourcesPath() / "sounds" / (name + "." + type));
        }
        found = mSoundToIdMap.emplace(name, sound.value_or(platform::ui::SoundPlayer::kKeyboardClick)).first;
    }
    const SoundID sound = found->second;
    play(sound, sound == platform::ui::SoundPlayer::kKeyboardClick ? std::string(kKeyboardClickName) : name);
}

void VKMUISound::play(SoundID sound, const std::string& recordedName) {
    mPlayer->activateAmbientSession();
    const double volume = interfaceVolume();
    if (volume <= kAudibleVolume) return;
    mPlayer->playSound(sound, volume);
    platform::ui::Application::sharedApplication().recordSound(recordedName);
}
