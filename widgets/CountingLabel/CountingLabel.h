#pragma once
// A label that counts from one number to another over a duration, on the
// display's frames of the main loop (in the default and the tracking mode,
// so it counts on while the user scrolls), easing the count with one of six
// curves. The text comes from a format with one numeric conversion, or
// from the caller's block. A new count cancels the running one without its
// completion. Main thread only.

#include "platform/dispatch/DisplayLink.h"
#include "platform/ui/views/Label.h"
#include "widgets/CountingLabel/CountingCurve.h"
#include "widgets/Support/NumberFormat.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

class CountingLabel : public platform::ui::Label {
public:
    CountingLabel();
    explicit CountingLabel(const platform::Rect& frame);
    ~CountingLabel() override;

    // A printf format with exactly one conversion: d or i (the value cut
    // toward zero to a 32-bit integer) or f, F, e, E, g, G, a, A, each with
    // flags, a width and a precision of at most three digits; "%%" is a
    // percent sign. Anything else is refused: false, and the format stays.
    // A format that is kept redraws the text at once.
    const std::optional<std::string>& format() const { return mFormat; }
    bool setFormat(std::optional<std::string> format);
    // The easing curve, 0 to 5 (see makeCountingCurve).
    unsigned method() const { return mMethod; }
    void setMethod(unsigned method) { mMethod = method; }
    // Used by the forms without a duration; 0 becomes 2 seconds.
    double animationDuration() const { return mAnimationDuration; }
    void setAnimationDuration(double seconds) { mAnimationDuration = seconds; }
    void setFormatBlock(std::function<std::string(double)> block) { mFormatBlock = std::move(block); }
    // Wins over the format block.
    void setAttributedFormatBlock(std::function<platform::ui::AttributedString(double)> block) {
        mAttributedFormatBlock = std::move(block);
    }
    // Runs once, when a count ends; set it again for the next count.
    void setCompletionBlock(std::function<void()> block) { mCompletionBlock = std::move(block); }

    void countFrom(double from, double to, double duration);
    void countFrom(double from, double to);
    void countFromCurrentValueTo(double to);
    void countFromCurrentValueTo(double to, double duration);
    void countFromZeroTo(double to);
    void countFromZeroTo(double to, double duration);

    double currentValue() const;
    // One frame of the count.
    void updateValue();
    void setTextValue(double value);
    void runCompletionBlock();

    double startingValue() const { return mStartingValue; }
    double destinationValue() const { return mDestinationValue; }
    double progress() const { return mProgress; }
    double totalTime() const { return mTotalTime; }
    double easingRate() const { return mEasingRate; }
    bool isCounting() const { return mTimer != nullptr; }
    const CountingCurve* counter() const { return mCounter.get(); }

    std::string className() const override { return "CountingLabel"; }

private:
    static double now();

    std::optional<std::string> mFormat;
    NumberFormat::Conversion mConversion = NumberFormat::Conversion::floating;
    unsigned mMethod = 0;
    double mAnimationDuration = 0;
    std::function<std::string(double)> mFormatBlock;
    std::function<platform::ui::AttributedString(double)> mAttributedFormatBlock;
    std::function<void()> mCompletionBlock;
    double mStartingValue = 0;
    double mDestinationValue = 0;
    double mProgress = 0;
    double mLastUpdate = 0;
    double mTotalTime = 0;
    double mEasingRate = 3;
    std::unique_ptr<platform::DisplayLink> mTimer;
    std::unique_ptr<CountingCurve> mCounter;
};
