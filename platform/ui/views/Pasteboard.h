#pragma once
// The pasteboard: what the app copied for other apps, kept in memory (the
// desktop backend may mirror it to the system's clipboard). Each change
// counts. Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {
class Image;
}

namespace platform::ui {

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

private:
    Pasteboard() = default;

    std::optional<std::string> mString;
    std::shared_ptr<const Image> mImage;
    std::int64_t mChangeCount = 0;
};

}  // namespace platform::ui
