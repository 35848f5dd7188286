#pragma once
// The device the app runs on, as the screens ask about it: its idiom
// (phone or tablet: the desktop backend or a test chooses), how it is held
// (reported by the backend or a test; a change posts the platform's
// notification with the device as object), and the system's name and
// version, read from the host. Main thread only.

#include <filesystem>
#include <string>

namespace platform::ui {

enum class UserInterfaceIdiom { phone, tablet };

// The platform's values.
enum class DeviceOrientation {
    unknown = 0,
    portrait = 1,
    portraitUpsideDown = 2,
    landscapeLeft = 3,
    landscapeRight = 4,
    faceUp = 5,
    faceDown = 6,
};

class Device {
public:
    struct SystemInfo {
        std::string name;
        std::string version;
    };

    static Device& currentDevice();

    UserInterfaceIdiom userInterfaceIdiom() const { return mIdiom; }
    void setUserInterfaceIdiom(UserInterfaceIdiom idiom) { mIdiom = idiom; }

    // Portrait at first.
    DeviceOrientation orientation() const { return mOrientation; }
    void setOrientation(DeviceOrientation orientation);

    // The host's name, as the user named the machine.
    const std::string& name() const { return mName; }

    // From /etc/os-release (NAME and VERSION_ID), else from uname (the
    // system's name and release): "Debian GNU/Linux" and "12".
    const std::string& systemName() const { return mSystem.name; }
    const std::string& systemVersion() const { return mSystem.version; }

    // Reads an os-release file (KEY=value lines, values optionally quoted
    // with the shell's escapes); a name or version it lacks (or a file that
    // cannot be read) comes from uname.
    static SystemInfo readSystemInfo(const std::filesystem::path& osRelease);

private:
    Device();

    UserInterfaceIdiom mIdiom = UserInterfaceIdiom::phone;
    DeviceOrientation mOrientation = DeviceOrientation::portrait;
    SystemInfo mSystem;
    std::string mName;
};

}  // namespace platform::ui
