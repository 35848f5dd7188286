#include "platform/ui/views/Pasteboard.h"

#include "platform/graphics/Image.h"

namespace platform::ui {

Pasteboard& Pasteboard::generalPasteboard() {
    static Pasteboard* pasteboard = new Pasteboard();  // lives as long as the process
    return *pasteboard;
}

void Pasteboard::setString(std::string text) {
    mString = std::move(text);
    mImage.reset();
    ++mChangeCount;
    if (mSystemClipboard) mSystemClipboard->setString(*mString);
}

void Pasteboard::setImage(std::shared_ptr<const Image> image) {
    mImage = std::move(image);
    mString.reset();
    ++mChangeCount;
    if (!mSystemClipboard) return;
    if (mImage) {
        mSystemClipboard->setImage(mImage);
    } else {
        mSystemClipboard->clear();
    }
}

void Pasteboard::clear() {
    mString.reset();
    mImage.reset();
    ++mChangeCount;
    if (mSystemClipboard) mSystemClipboard->clear();
}

}  // namespace platform::ui
