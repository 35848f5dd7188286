#pragma once
// A text field: one line of editable text, or its placeholder while empty,
// in a border of its style. A tap makes it the first responder and it
// edits: typed text (Window::insertText, deleteBackward) goes to the end of
// its text, each change sending editingChanged; the return key sends
// editingDidEndOnExit and, when something listens for that, ends editing.
// Becoming and resigning the first responder send editingDidBegin and
// editingDidEnd; the delegate may refuse either, or a change. Secure text
// is drawn as one bullet a character. The clear button (a symbol image
// drawn in grey) shows as its mode says while there is text, and a tap on
// it empties the field.
//
// Text wider than the field shows its end while editing, and is cut at its
// tail with an ellipsis otherwise. Setting the text sends nothing. Main
// thread only.

#include "platform/foundation/Range.h"
#include "platform/ui/views/Control.h"
#include "platform/ui/views/Font.h"
#include "platform/ui/input/KeyInput.h"

#include <memory>
#include <string>

namespace platform::ui {

class TextField;

enum class TextBorderStyle { none, line, bezel, roundedRect };
enum class TextFieldViewMode { never, whileEditing, unlessEditing, always };

// Optional answers and notices; held weakly.
class TextFieldDelegate {
public:
    virtual ~TextFieldDelegate() = default;
    virtual bool textFieldShouldBeginEditing(TextField& field) {
        (void)field;
        return true;
    }
    virtual void textFieldDidBeginEditing(TextField& field) { (void)field; }
    virtual bool textFieldShouldEndEditing(TextField& field) {
        (void)field;
        return true;
    }
    virtual void textFieldDidEndEditing(TextField& field) { (void)field; }
    // `range` is in bytes of the text.
    virtual bool textFieldShouldChangeCharacters(TextField& field, Range range, const std::string& replacement) {
        (void)field;
        (void)range;
        (void)replacement;
        return true;
    }
    virtual bool textFieldShouldClear(TextField& field) {
        (void)field;
        return true;
    }
    virtual bool textFieldShouldReturn(TextField& field) {
        (void)field;
        return true;
    }
};

class TextField : public Control, public KeyInput {
public:
    static constexpr double kClearButtonSide = 19;
    static constexpr Color kPlaceholderColor{0.24, 0.24, 0.26, 0.3};
    static constexpr Color kClearButtonColor{0.56, 0.56, 0.58, 1};

    TextField();
    explicit TextField(const Rect& frame);

    const std::string& text() const { return mText; }
    void setText(std::string text);
    const std::string& placeholder() const { return mPlaceholder; }
    void setPlaceholder(std::string placeholder);
    // Default: the system font of 17 points, black, left.
    const Font& font() const { return mFont; }
    void setFont(Font font);
    const Color& textColor() const { return mTextColor; }
    void setTextColor(const Color& color);
    TextAlignment textAlignment() const { return mAlignment; }
    void setTextAlignment(TextAlignment alignment);
    bool isSecureTextEntry() const { return mSecure; }
    void setSecureTextEntry(bool secure);
    TextBorderStyle borderStyle() const { return mBorderStyle; }
    void setBorderStyle(TextBorderStyle style);
    TextFieldViewMode clearButtonMode() const { return mClearButtonMode; }
    void setClearButtonMode(TextFieldViewMode mode);
    bool clearsOnBeginEditing() const { return mClearsOnBeginEditing; }
    void setClearsOnBeginEditing(bool clears) { mClearsOnBeginEditing = clears; }

    std::shared_ptr<TextFieldDelegate> delegate() const { return mDelegate.lock(); }
    void setDelegate(std::weak_ptr<TextFieldDelegate> delegate) { mDelegate = std::move(delegate); }

    bool isEditing() const { return mEditing; }

    // What the field draws for its text: bullets for secure text.
    std::string displayedText() const;
    // Where the text goes, and the clear button (empty when not shown).
    Rect textRect() const;
    Rect clearButtonRect() const;

    // KeyInput.
    bool hasText() const override { return !mText.empty(); }
    void insertText(const std::string& text) override;
    void deleteBackward() override;

    bool canBecomeFirstResponder() const override { return isEnabled(); }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    // Tab edits the next field of its screen (Shift+Tab the one before), in
    // the order of the view tree, round the end.
    bool handleKeyCommand(const KeyCommand& command) override;

    Size intrinsicContentSize() const override;
    Size sizeThatFits(Size size) const override;
    void drawRect(Context& context, const Rect& rect) override;
    void willMoveToWindow(Window* newWindow) override;
    void tintColorDidChange() override { setNeedsDisplay(); }
    std::string className() const override { return "TextField"; }
    void describeForDump(std::string& line) const override;

protected:
    void endTrackingWithTouch(const Touch* touch, const Event* event) override;

private:
    bool clearButtonShown() const;
    double horizontalPadding() const;
    // Replaces `range` of the text after asking the delegate; true when done.
    bool replace(Range range, const std::string& replacement);
    void changed();

    std::string mText;
    std::string mPlaceholder;
    Font mFont = Font::systemFont(Font::labelFontSize());
    Color mTextColor{0, 0, 0, 1};
    TextAlignment mAlignment = TextAlignment::left;
    bool mSecure = false;
    TextBorderStyle mBorderStyle = TextBorderStyle::none;
    TextFieldViewMode mClearButtonMode = TextFieldViewMode::never;
    bool mClearsOnBeginEditing = false;
    bool mEditing = false;
    bool mLeavingWindow = false;
    std::weak_ptr<TextFieldDelegate> mDelegate;
};

}  // namespace platform::ui
