#pragma once
// The app's short interface sounds (a like, a tap on an action button, a
// "whop", a mechanical burr, the keyboard click). Each sound resource is
// looked up in the bundle's sounds folder once and kept by name with the
// identifier the player gave it; a resource that is missing or unreadable
// plays the keyboard click from then on. A sound plays only while the
// user's interface sound volume (the setting kVolumeKey, 0 to 1, full when
// unset) is above 0.01; every sound played is recorded with the
// application by its resource name (kKeyboardClickName for the click).
// Main thread only.

#include <map>
#include <memory>
#include <string>

#include "platform/ui/views/SoundPlayer.h"

class VKMUISound {
public:
    using SoundID = platform::ui::SoundPlayer::SoundID;

    // The user-default key of the interface sound volume.
    static constexpr const char* kVolumeKey = "VKMInterfaceSoundVolume";
    // What is recorded when the keyboard click plays.
    static constexpr const char* kKeyboardClickName = "system-sound-1104";

    static void playLayoutLikedSound();
    static void playActionButtonTappedSound();
    static void playWhopSound();
    static void playMechanicBurrSound();
    static void playSystemBeepSound();

    // The program's player; null for none (silent). Sounds already looked
    // up are forgotten, as their identifiers were the old player's.
    static void setSoundPlayer(std::shared_ptr<platform::ui::SoundPlayer> player);

    static VKMUISound& sharedInstance();
    // Resource name -> identifier of every sound looked up so far.
    const std::map<std::string, SoundID>& soundToIdMap() const { return mSoundToIdMap; }

private:
    VKMUISound();
    void playResource(const std::string& name, const std::string& type);
    void play(SoundID sound, const std::string& recordedName);

    std::shared_ptr<platform::ui::SoundPlayer> mPlayer;
    std::map<std::string, SoundID> mSoundToIdMap;
};
