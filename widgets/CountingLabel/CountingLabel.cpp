#include "widgets/CountingLabel/CountingLabel.h"

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "widgets/Support/NumberFormat.h"

#include <chrono>

CountingLabel::CountingLabel() = default;

CountingLabel::CountingLabel(const platform::Rect& frame) : Label(frame) {}

CountingLabel::~CountingLabel() = default;

bool CountingLabel::setFormat(std::optional<std::string> format) {
    if (format) {
        const auto conversion = NumberFormat::check(*format);
        if (!conversion) return false;
        mConversion = *conversion;
    } else {
        mConversion = NumberFormat::Conversion::floating;  // the "%f" that stands in
    }
    mFormat = std::move(format);
    setTextValue(currentValue());
    return true;
}

double CountingLabel::now() {
    return std::chrono::duration<double>(platform::Clock::shared()->instant().time_since_epoch()).count();
}

void CountingLabel::countFrom(double from, double to, double duration) {
    mStartingValue = from;
    mDestinationValue = to;
    if (mTimer) mTimer->invalidate();
    mTimer.reset();
    if (!mFormat) {
        mFormat = "%f";
        mConversion = NumberFormat::Conversion::floating;
    }
    if (duration == 0) {
        setTextValue(to);
        runCompletionBlock();
        return;
    }
    mEasingRate = 3.0;
    mProgress = 0;
    mTotalTime = duration;
    mLastUpdate = now();
    mCounter = makeCountingCurve(mMethod);
    // The link belongs to the label and dies with it, so the raw pointer
    // never outlives what it points at.
    mTimer = std::make_unique<platform::DisplayLink>([this](const platform::DisplayLink::Frame&) { updateValue(); });
    mTimer->setPreferredFramesPerSecond(0);
    mTimer->addToRunLoop(platform::RunLoop::main(), platform::RunLoopMode::Default);
    mTimer->addToRunLoop(platform::RunLoop::main(), platform::RunLoopMode::Tracking);
}

void CountingLabel::countFrom(double from, double to) {
    if (mAnimationDuration == 0) mAnimationDuration = 2.0;
    countFrom(from, to, mAnimationDuration);
}

void CountingLabel::countFromCurrentValueTo(double to) { countFrom(currentValue(), to); }

void CountingLabel::countFromCurrentValueTo(double to, double duration) { countFrom(currentValue(), to, duration); }

void CountingLabel::countFromZeroTo(double to) { countFrom(0, to); }

void CountingLabel::countFromZeroTo(double to, double duration) { countFrom(0, to, duration); }

double CountingLabel::currentValue() const {
    if (mProgress >= mTotalTime) return mDestinationValue;
    const double share = mProgress / mTotalTime;
    const double eased = mCounter ? mCounter->update(share) : share;
    return mStartingValue + eased * (mDestinationValue - mStartingValue);
}

void CountingLabel::updateValue() {
    const double time = now();
    mProgress += time - mLastUpdate;
    mLastUpdate = time;
    if (mProgress >= mTotalTime) {
        // Destroying the link from its own frame is safe: the frame keeps
        // its state alive until it returns.
        mTimer.reset();
        mProgress = mTotalTime;
    }
    setTextValue(currentValue());
    if (mProgress == mTotalTime) runCompletionBlock();
}

void CountingLabel::setTextValue(double value) {
    if (mAttributedFormatBlock) {
        setAttributedText(mAttributedFormatBlock(value));
        return;
    }
    if (mFormatBlock) {
        setText(mFormatBlock(value));
        return;
    }
    setText(NumberFormat::apply(mFormat.value_or("%f"), mConversion, value));
}

void CountingLabel::runCompletionBlock() {
    if (!mCompletionBlock) return;
    auto block = std::move(mCompletionBlock);
    mCompletionBlock = nullptr;
    block();
}
