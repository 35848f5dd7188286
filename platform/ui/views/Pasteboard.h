#pragma once
// The pasteboard: what the app copied for other apps, kept in memory and,
// while a desktop window runs, handed on to the desktop's clipboard through
// the hook the desktop installs. Each change counts. Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {
class Image;
}

namespace platform::ui {

// Where the pasteboard's contents go outside the app: the desktop's
// clipboard. Called on the main thread with each change; it must not block.
class SystemClipboard {
public:
    virtual ~SystemClipboard() = default;
    virtual void setString(const std::string& text) = 0;
    virtual void setImage(const std::shared_ptr<const Image>& image) = 0;
    virtual void clear() = 0;
};

class Pasteboard {
public:
    static Pasteboard& generalPasteboard();

    // Setting one kind of content replaces the other.
    const std::optional<std::string>& string() const { return mString; }
    void setString(std::string text);
    const std::shared_ptr<const Image>& image() const { return mImage; }
    void setImage(std::shared_ptr<const Image> image);
    bool hasStrings() const { return mString.has_value(); }
    bool hasImages() const { return mImage != nullptr; }
    // Empties it (a change too).
    void clear();

    std::int64_t changeCount() const { return mChangeCount; }

    // The desktop's clipboard that hears every later change; null (the
    // default, and in tests) keeps the contents in the app only.
    void setSystemClipboard(std::shared_ptr<SystemClipboard> clipboard) { mSystemClipboard = std::move(clipboard); }
    const std::shared_ptr<SystemClipboard>& systemClipboard() const { return mSystemClipboard; }

private:
    Pasteboard() = default;

    std::optional<std::string> mString;
    std::shared_ptr<const Image> mImage;
    std::int64_t mChangeCount = 0;
    std::shared_ptr<SystemClipboard> mSystemClipboard;
};

}  // namespace platform::ui
