#include "platform/ui/sdl/DesktopSoundPlayer.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace platform::ui::sdl {

namespace {

constexpr SDL_AudioFormat kFormat = AUDIO_S16SYS;
constexpr Uint8 kChannels = 1;

// A 15 ms tick: a 2 kHz tone dying away fast.
std::vector<std::int16_t> makeClick() {
    constexpr double kSeconds = 0.015;
    const int count = static_cast<int>(kSeconds * DesktopSoundPlayer::kSampleRate);
    std::vector<std::int16_t> samples(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / DesktopSoundPlayer::kSampleRate;
        const double level = 0.5 * std::exp(-t / 0.003) * std::sin(2 * M_PI * 2000 * t);
        samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::lround(level * 32767));
    }
    return samples;
}

// The WAV file's samples in the kept format; empty when SDL cannot read or
// convert it.
std::vector<std::int16_t> loadWave(const std::filesystem::path& file) {
    SDL_AudioSpec spec{};
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (SDL_LoadWAV(file.c_str(), &spec, &buffer, &length) == nullptr) return {};
    std::vector<std::int16_t> samples;
    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq, kFormat, kChannels,
                          DesktopSoundPlayer::kSampleRate) >= 0 &&
        cvt.len_mult > 0 && length <= static_cast<Uint32>(SDL_MAX_SINT32 / cvt.len_mult)) {
        std::vector<Uint8> work(static_cast<std::size_t>(length) * static_cast<std::size_t>(cvt.len_mult));
        std::copy(buffer, buffer + length, work.begin());
        cvt.buf = work.data();
        cvt.len = static_cast<int>(length);
        if (SDL_ConvertAudio(&cvt) == 0) {
            samples.resize(static_cast<std::size_t>(cvt.len_cvt) / sizeof(std::int16_t));
            std::copy_n(work.data(), samples.size() * sizeof(std::int16_t), reinterpret_cast<Uint8*>(samples.data()));
        }
    }
    SDL_FreeWAV(buffer);
    return samples;
}

// ALSA's library writes each step of a failed device search to standard
// error (eight lines on a machine without a sound card) before SDL gives up.
// Its error handler is silenced for the search; we say once that there is no
// sound. The library is looked up at run time, so that SDL builds without it
// need nothing.
extern "C" {
using AlsaErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
using AlsaSetErrorHandler = int (*)(AlsaErrorHandler);
static void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}
}

class QuietAlsa {
public:
    QuietAlsa() {
        // Kept open while the handler is set: SDL loads the same library.
        mLibrary = dlopen("libasound.so.2", RTLD_LAZY);
        if (mLibrary == nullptr) return;
        mSet = reinterpret_cast<AlsaSetErrorHandler>(dlsym(mLibrary, "snd_lib_error_set_handler"));
        if (mSet != nullptr) mSet(&IgnoreAlsaError);
    }
    ~QuietAlsa() {
        // Null puts ALSA's own handler back.
        if (mSet != nullptr) mSet(nullptr);
        if (mLibrary != nullptr) dlclose(mLibrary);
    }
    QuietAlsa(const QuietAlsa&) = delete;
    QuietAlsa& operator=(const QuietAlsa&) = delete;

private:
    void* mLibrary = nullptr;
    AlsaSetErrorHandler mSet = nullptr;
};

}  // namespace

DesktopSoundPlayer::DesktopSoundPlayer() { mSounds[kKeyboardClick] = makeClick(); }

DesktopSoundPlayer::~DesktopSoundPlayer() {
    if (mDevice != 0) SDL_CloseAudioDevice(mDevice);
    if (mAudioStarted) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void DesktopSoundPlayer::activateAmbientSession() {
    if (mTried) return;
    mTried = true;
    const QuietAlsa quiet;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "vekmont: no sound: %s\n", SDL_GetError());
        return;
    }
    mAudioStarted = true;
    SDL_AudioSpec wanted{};
    wanted.freq = kSampleRate;
    wanted.format = kFormat;
    wanted.channels = kChannels;
    wanted.samples = 512;
    SDL_AudioSpec obtained{};
    mDevice = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (mDevice == 0) {
        std::fprintf(stderr, "vekmont: no sound: %s\n", SDL_GetError());
        return;
    }
    SDL_PauseAudioDevice(mDevice, 0);
}

std::optional<SoundPlayer::SoundID> DesktopSoundPlayer::createSound(const std::filesystem::path& file) {
    std::vector<std::int16_t> samples = loadWave(file);
    if (samples.empty()) return std::nullopt;
    if (mNext == kKeyboardClick) ++mNext;
    const SoundID sound = mNext++;
    mSounds[sound] = std::move(samples);
    return sound;
}

void DesktopSoundPlayer::playSound(SoundID sound, double volume) {
    const auto found = mSounds.find(sound);
    if (mDevice == 0 || found == mSounds.end()) return;
    const double gain = std::clamp(volume, 0.0, 1.0);
    std::vector<std::int16_t> scaled(found->second.size());
    std::transform(found->second.begin(), found->second.end(), scaled.begin(),
                   [gain](std::int16_t s) { return static_cast<std::int16_t>(std::lround(s * gain)); });
    SDL_ClearQueuedAudio(mDevice);
    SDL_QueueAudio(mDevice, scaled.data(), static_cast<Uint32>(scaled.size() * sizeof(std::int16_t)));
}

std::uint32_t DesktopSoundPlayer::queuedBytes() const { return mDevice != 0 ? SDL_GetQueuedAudioSize(mDevice) : 0; }

}  // namespace platform::ui::sdl
