#pragma once
// A button: a title and an image per control state, shown by a label and
// an image view of its own side by side (image first), placed in the
// bounds inset by contentEdgeInsets as the content alignments say, each
// then moved by its own edge insets (by half their difference when
// centred). A state without a title, colour or image of its own shows the
// normal state's.
//
// The system type shows its title in the tint colour (grey when disabled,
// faded while highlighted) and its images as templates in the tint; the
// custom type shows its title in white and its images as they are, unless
// an image is a template. A tap sends touchUpInside, then
// primaryActionTriggered. Main thread only.

#include "platform/graphics/Image.h"
#include "platform/ui/views/Control.h"
#include "platform/ui/core/EdgeInsets.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace platform::ui {

class ImageView;
class Label;

enum class ButtonType { custom = 0, system = 1 };

class Button : public Control {
public:
    // A system button's title fades to this alpha while highlighted.
    static constexpr double kHighlightedAlpha = 0.2;

    static std::shared_ptr<Button> make(ButtonType type = ButtonType::system);
    explicit Button(ButtonType type = ButtonType::custom, const Rect& frame = {});

    ButtonType buttonType() const { return mType; }

    void setTitle(std::optional<std::string> title, ControlState state);
    std::optional<std::string> titleForState(ControlState state) const;
    void setTitleColor(std::optional<Color> color, ControlState state);
    Color titleColorForState(ControlState state) const;
    void setImage(std::shared_ptr<Image> image, ControlState state);
    std::shared_ptr<Image> imageForState(ControlState state) const;

    std::optional<std::string> currentTitle() const { return titleForState(state()); }
    Color currentTitleColor() const { return titleColorForState(state()); }
    std::shared_ptr<Image> currentImage() const { return imageForState(state()); }

    // The title's label (its font is the button's font) and the image's
    // view; made with the button, its subviews from make() or once it is
    // added to a superview.
    const std::shared_ptr<Label>& titleLabel() const { return mTitleLabel; }
    const std::shared_ptr<ImageView>& imageView() const { return mImageView; }

    EdgeInsets contentEdgeInsets() const { return mContentInsets; }
    void setContentEdgeInsets(const EdgeInsets& insets);
    EdgeInsets titleEdgeInsets() const { return mTitleInsets; }
    void setTitleEdgeInsets(const EdgeInsets& insets);
    EdgeInsets imageEdgeInsets() const { return mImageInsets; }
    void setImageEdgeInsets(const EdgeInsets& insets);

    // The image and the title side by side plus the content insets.
    Size sizeThatFits(Size size) const override;
    Size intrinsicContentSize() const override;
    void layoutSubviews() override;
    void tintColorDidChange() override;
    void didMoveToSuperview() override;
    std::string className() const override { return "Button"; }
    void describeForDump(std::string& line) const override;

protected:
    bool sendsPrimaryActionOnTouchUp() const override { return true; }
    void stateDidChange() override;

private:
    template <typename T>
    static std::optional<T> lookup(const std::map<ControlState, T>& table, ControlState state);
    // The label and the image view join the button once it is shared (a
    // view cannot be added to one still being made).
    void installSubviews();
    void update();
    Size contentSize() const;

    ButtonType mType;
    std::map<ControlState, std::string> mTitles;
    std::map<ControlState, Color> mTitleColors;
    std::map<ControlState, std::shared_ptr<Image>> mImages;
    std::shared_ptr<Label> mTitleLabel;
    std::shared_ptr<ImageView> mImageView;
    std::shared_ptr<Image> mShownImage;  // the state's image the view shows
    EdgeInsets mContentInsets;
    EdgeInsets mTitleInsets;
    EdgeInsets mImageInsets;
};

}  // namespace platform::ui
