// Text fields edited like a user: a tap to begin, keyboard text through the
// window, the delegate's say, the clear button, secure text drawn as
// bullets; and read-only text views that scroll their text.

#include "platform/graphics/Image.h"
#include "platform/graphics/TextMeasure.h"
#include "platform/ui/views/TextField.h"
#include "platform/ui/views/TextView.h"
#include "platform/ui/input/TouchSynth.h"
#include "platform/ui/views/Window.h"
#include "tests/platform/support/VirtualTime.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::Color;
using platform::Point;
using platform::Range;
using platform::Rect;
using platform::ui::Control;
using platform::ui::ControlEvents;
using platform::ui::Font;
using platform::ui::TextBorderStyle;
using platform::ui::TextField;
using platform::ui::TextFieldDelegate;
using platform::ui::TextFieldViewMode;
using platform::ui::TextView;
using platform::ui::TouchSynth;
using platform::ui::Window;

namespace {

using Log = std::vector<std::string>;

class Gatekeeper : public TextFieldDelegate {
public:
    bool mayBegin = true;
    bool mayEnd = true;
    bool mayChange = true;
    bool mayReturn = true;
    Log heard;
    bool textFieldShouldBeginEditing(TextField&) override { return mayBegin; }
    void textFieldDidBeginEditing(TextField&) override { heard.push_back("did begin"); }
    bool textFieldShouldEndEditing(TextField&) override { return mayEnd; }
    void textFieldDidEndEditing(TextField&) override { heard.push_back("did end"); }
    bool textFieldShouldChangeCharacters(TextField& f, Range range, const std::string& replacement) override {
        heard.push_back("change " + std::to_string(range.location) + "+" + std::to_string(range.length) + " \"" +
                        replacement + "\" of \"" + f.text() + "\"");
        return mayChange;
    }
    bool textFieldShouldReturn(TextField&) override {
        heard.push_back("return");
        return mayReturn;
    }
};

struct Scene {
    testsupport::VirtualTime time;
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect{0, 0, 400, 400});
    std::shared_ptr<TextField> field = std::make_shared<TextField>(Rect{20, 20, 200, 34});
    std::shared_ptr<Gatekeeper> gate = std::make_shared<Gatekeeper>();
    TouchSynth synth{window};
    Log events;
    Control::ActionId exitListener = 0;

    Scene() {
        window->setBackgroundColor(Color{1, 1, 1, 1});
        window->addSubview(field);
        field->setDelegate(gate);
        const std::pair<ControlEvents, const char*> names[] = {
            {ControlEvents::editingDidBegin, "begin"},
            {ControlEvents::editingChanged, "changed"},
            {ControlEvents::editingDidEnd, "end"},
            {ControlEvents::editingDidEndOnExit, "exit"},
        };
        for (const auto& [event, name] : names) {
            const auto id = field->addAction([this, n = std::string(name)](Control&) { events.push_back(n); }, event);
            if (event == ControlEvents::editingDidEndOnExit) exitListener = id;
        }
    }
};

}  // namespace

TEST(UiTextField, ATapBeginsEditingAndTypedTextArrivesThroughTheWindow) {
    Scene s;
    EXPECT_FALSE(s.window->insertText("x")) << "nothing takes text before editing";
    s.synth.tap({60, 37});
    EXPECT_TRUE(s.field->isEditing());
    EXPECT_TRUE(s.field->isFirstResponder());
    EXPECT_EQ(s.events, Log{"begin"});

    EXPECT_TRUE(s.window->insertText("Gl"));
    EXPECT_TRUE(s.window->insertText("\u00e4is"));
    EXPECT_EQ(s.field->text(), "Gl\u00e4is");
    EXPECT_TRUE(s.window->deleteBackward());
    EXPECT_TRUE(s.window->deleteBackward());
    EXPECT_EQ(s.field->text(), "Gl\u00e4") << "a whole character goes, however many bytes";
    EXPECT_EQ(s.events, (Log{"begin", "changed", "changed", "changed", "changed"}));
    EXPECT_EQ(s.gate->heard, (Log{"did begin", "change 0+0 \"Gl\" of \"\"", "change 2+0 \"\u00e4is\" of \"Gl\"",
                                  "change 5+1 \"\" of \"Gl\u00e4is\"", "change 4+1 \"\" of \"Gl\u00e4i\""}));

    // The delegate may refuse a change.
    s.gate->mayChange = false;
    s.window->insertText("x");
    EXPECT_EQ(s.field->text(), "Gl\u00e4");
    EXPECT_EQ(s.events.size(), 5u);

    // Return: the exit event, and the end of editing when something listens
    // for it.
    s.events.clear();
    s.gate->heard.clear();
    s.field->removeAction(s.exitListener);
    s.window->insertText("\n");
    EXPECT_TRUE(s.field->isEditing()) << "nothing listened for the exit";
    s.gate->mayReturn = false;
    s.field->addAction([&](Control&) { s.events.push_back("exit"); }, ControlEvents::editingDidEndOnExit);
    s.window->insertText("\n");
    EXPECT_TRUE(s.field->isEditing()) << "the delegate refused the return";
    s.gate->mayReturn = true;
    s.window->insertText("\n");
    EXPECT_FALSE(s.field->isEditing());
    EXPECT_EQ(s.events, (Log{"exit", "end"}));
    EXPECT_EQ(s.gate->heard, (Log{"return", "return", "return", "did end"}));
    EXPECT_EQ(s.field->text(), "Gl\u00e4") << "a return is no text";
    EXPECT_FALSE(s.window->deleteBackward());
}

TEST(UiTextField, TheDelegateAndOtherRespondersDecideWhoEdits) {
    Scene s;
    auto other = std::make_shared<TextField>(Rect{20, 100, 200, 34});
    s.window->addSubview(other);

    s.gate->mayBegin = false;
    s.synth.tap({60, 37});
    EXPECT_FALSE(s.field->isEditing());
    s.gate->mayBegin = true;
    EXPECT_TRUE(s.field->becomeFirstResponder());

    // Another field taking over ends this one's editing, unless refused.
    s.gate->mayEnd = false;
    EXPECT_FALSE(other->becomeFirstResponder());
    EXPECT_TRUE(s.field->isEditing());
    s.gate->mayEnd = true;
    s.synth.wait(1);
    s.synth.tap({60, 117});
    EXPECT_TRUE(other->isEditing());
    EXPECT_FALSE(s.field->isEditing());
    EXPECT_EQ(s.events, (Log{"begin", "end"}));
    s.window->insertText("Mast");
    EXPECT_EQ(other->text(), "Mast");
    EXPECT_EQ(s.field->text(), "");

    // A field taken out of its window stops editing.
    other->removeFromSuperview();
    EXPECT_FALSE(other->isEditing());
    EXPECT_FALSE(s.window->insertText("x"));

    // A disabled field does not edit; one that clears on beginning does.
    s.field->setEnabled(false);
    EXPECT_FALSE(s.field->becomeFirstResponder());
    s.field->setEnabled(true);
    s.field->setText("alt");
    s.field->setClearsOnBeginEditing(true);
    EXPECT_TRUE(s.field->becomeFirstResponder());
    EXPECT_EQ(s.field->text(), "");
}

TEST(UiTextField, TheClearButtonShowsAsItsModeSaysAndEmptiesTheField) {
    Scene s;
    s.field->setBorderStyle(TextBorderStyle::roundedRect);
    s.field->setClearButtonMode(TextFieldViewMode::whileEditing);
    s.field->setText("Bahnhof");
    EXPECT_TRUE(s.field->clearButtonRect().isEmpty()) << "not while not editing";
    s.field->becomeFirstResponder();
    const Rect button = s.field->clearButtonRect();
    ASSERT_FALSE(button.isEmpty());
    EXPECT_LE(s.field->textRect().maxX(), button.minX()) << "the text keeps clear of it";

    s.events.clear();
    s.synth.tap({20 + button.x + button.width / 2, 20 + button.y + button.height / 2});
    EXPECT_EQ(s.field->text(), "");
    EXPECT_EQ(s.events, Log{"changed"});
    EXPECT_TRUE(s.field->isEditing());
    EXPECT_TRUE(s.field->clearButtonRect().isEmpty()) << "no text, no button";

    s.field->setClearButtonMode(TextFieldViewMode::unlessEditing);
    s.field->setText("x");
    EXPECT_TRUE(s.field->clearButtonRect().isEmpty());
    s.field->resignFirstResponder();
    EXPECT_FALSE(s.field->clearButtonRect().isEmpty());
}

TEST(UiTextField, SecureTextIsDrawnAsBulletsAndThePlaceholderWhileEmpty) {
    Scene s;
    s.field->setFont(Font::systemFont(20));
    s.field->setText("pa\u00dfwort");
    s.field->setSecureTextEntry(true);
    EXPECT_EQ(s.field->displayedText(), "\u2022\u2022\u2022\u2022\u2022\u2022\u2022") << "one bullet a character";
    EXPECT_EQ(s.field->text(), "pa\u00dfwort");

    // The ink drawn is the bullets' own: seven round dots, each as wide as
    // a bullet's ink, at the bullets' advance apart.
    const auto shot = s.window->snapshot();
    const double advance = platform::measureText("\u2022", "DejaVu Sans", 20).width;
    const double middle = 20 + 17;
    int runs = 0;
    bool inInk = false;
    double firstInk = -1;
    double lastInk = -1;
    for (int x = 40; x < 440; ++x) {
        const bool ink = shot->pixel(x, static_cast<int>(middle * 2))->red < 128;
        if (ink && !inInk) {
            ++runs;
            if (firstInk < 0) firstInk = x / 2.0;
            lastInk = x / 2.0;
        }
        inInk = ink;
    }
    EXPECT_EQ(runs, 7);
    EXPECT_NEAR(lastInk - firstInk, 6 * advance, 1);

    // While empty the placeholder shows, in its light colour.
    s.field->setText("");
    s.field->setSecureTextEntry(false);
    s.field->setPlaceholder("\u2588\u2588\u2588");
    const auto placeholder = s.window->snapshot();
    const auto p = *placeholder->pixel(static_cast<int>((20 + 10) * 2), static_cast<int>(middle * 2));
    EXPECT_NEAR(p.red, 255 - (255 - 0.24 * 255) * 0.3, 2) << "the placeholder colour over white";
}

TEST(UiTextView, LongTextWrapsAndScrollsVertically) {
    testsupport::VirtualTime time;
    auto window = std::make_shared<Window>(Rect{0, 0, 400, 400});
    auto view = TextView::make({0, 0, 200, 100});
    window->addSubview(view);
    std::string text;
    for (int i = 0; i < 100; ++i) text += "Gleis ";
    view->setText(text);
    view->layoutIfNeeded();

    const auto layout = view->textLayout();
    const double lineWidth = 200 - 2 * TextView::kLineFragmentPadding;
    for (const auto& line : layout->lines()) EXPECT_LE(line.frame.width, lineWidth);
    EXPECT_GT(layout->lines().size(), 5u);
    EXPECT_DOUBLE_EQ(view->contentSize().height, layout->size().height + 16);
    EXPECT_DOUBLE_EQ(view->contentSize().width, 200);
    EXPECT_FALSE(view->isEditable());

    TouchSynth synth(window);
    auto touch = synth.touchDown({100, 90});
    for (int i = 1; i <= 10; ++i) {
        synth.wait(TouchSynth::kFrame);
        synth.move({touch}, {{100 - 3.0 * i, 90 - 6.0 * i}});
    }
    synth.wait(0.2);
    synth.lift({touch});
    EXPECT_EQ(view->contentOffset(), (Point{0, 60})) << "up and down only";
}
