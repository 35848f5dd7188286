#include "widgets/CountingLabel/CountingLabel.h"

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <vector>

CountingLabel::CountingLabel() = default;

CountingLabel::CountingLabel(const platform::Rect& frame) : Label(frame) {}

CountingLabel::~CountingLabel() = default;

std::optional<CountingLabel::Conversion> CountingLabel::checkFormat(const std::string& format) {
    std::optional<Conversion> found;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') continue;
        ++i;
        if (i < format.size() && format[i] == '%') continue;
        if (found) return std::nullopt;  // a second conversion would read an argument that is not there
        while (i < format.size() && std::string_view("-+ #0").find(format[i]) != std::string_view::npos) ++i;
        auto digits = [&] {
            std::size_t count = 0;
            while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) ++i, ++count;
            return count;
        };
        if (digits() > 3) return std::nullopt;
        if (i < format.size() && format[i] == '.') {
            ++i;
            if (digits() > 3) return std::nullopt;
        }
        if (i >= format.size()) return std::nullopt;
        const char conversion = format[i];
        if (conversion == 'd' || conversion == 'i') {
            found = Conversion::integer;
        } else if (std::string_view("fFeEgGaA").find(conversion) != std::string_view::npos) {
            found = Conversion::floating;
        } else {
            return std::nullopt;
        }
    }
    return found;
}

bool CountingLabel::setFormat(std::optional<std::string> format) {
    if (format) {
        const auto conversion = checkFormat(*format);
        if (!conversion) return false;
        mConversion = *conversion;
    } else {
        mConversion = Conversion::floating;  // the "%f" that stands in
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
        mConversion = Conversion::floating;
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
    const std::string format = mFormat.value_or("%f");
    // The format was checked: one conversion of the kind given here.
    auto print = [&](char* buffer, std::size_t size) {
        if (mConversion == Conversion::integer) {
            // Cut toward zero, held to the 32-bit range (NaN shows 0).
            const double cut = std::isnan(value) ? 0 : std::trunc(value);
            const double held = std::fmax(std::numeric_limits<std::int32_t>::min(),
                                          std::fmin(std::numeric_limits<std::int32_t>::max(), cut));
            return std::snprintf(buffer, size, format.c_str(), static_cast<int>(held));
        }
        return std::snprintf(buffer, size, format.c_str(), value);
    };
    const int length = print(nullptr, 0);
    if (length < 0) return;
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    print(buffer.data(), buffer.size());
    setText(std::string(buffer.data(), static_cast<std::size_t>(length)));
}

void CountingLabel::runCompletionBlock() {
    if (!mCompletionBlock) return;
    auto block = std::move(mCompletionBlock);
    mCompletionBlock = nullptr;
    block();
}
