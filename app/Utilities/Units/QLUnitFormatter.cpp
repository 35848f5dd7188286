#include "app/Utilities/Units/QLUnitFormatter.h"

#include "engine/model/MeasureUnits.h"
#include "platform/foundation/Locale.h"

#include <unicode/decimfmt.h>
#include <unicode/numfmt.h>
#include <unicode/parsepos.h>
#include <unicode/unistr.h>

#include <string_view>
#include <vector>

struct QLUnitFormatter::Impl {
    std::unique_ptr<icu::DecimalFormat> format;

    // The whole text as one number; nothing when it is not.
    std::optional<double> parse(const std::string& text) const {
        if (!format || text.empty()) return std::nullopt;
        const icu::UnicodeString subject = icu::UnicodeString::fromUTF8(text);
        icu::Formattable result;
        icu::ParsePosition position(0);
        format->parse(subject, result, position);
        if (position.getErrorIndex() >= 0 || position.getIndex() != subject.length()) return std::nullopt;
        UErrorCode status = U_ZERO_ERROR;
        const double number = result.getDouble(status);
        if (U_FAILURE(status)) return std::nullopt;
        return number;
    }
};

namespace {

std::string withoutBlanksAround(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The runs of decimal digits between the other characters, empty runs included.
std::vector<std::string> digitGroups(const std::string& text) {
    std::vector<std::string> pieces(1);
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            pieces.back() += c;
        } else {
            pieces.emplace_back();
        }
    }
    return pieces;
}

}  // namespace

QLUnitFormatter::QLUnitFormatter() : mImpl(std::make_unique<Impl>()) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale(platform::Locale::current().identifier().c_str());
    std::unique_ptr<icu::NumberFormat> made(icu::NumberFormat::createInstance(locale, UNUM_DECIMAL, status));
    auto* decimal = dynamic_cast<icu::DecimalFormat*>(made.get());
    if (U_FAILURE(status) || decimal == nullptr) return;
    made.release();
    mImpl->format.reset(decimal);
    mImpl->format->setRoundingMode(icu::DecimalFormat::kRoundHalfUp);
    mImpl->format->setLenient(false);
}

QLUnitFormatter::~QLUnitFormatter() = default;

std::string QLUnitFormatter::stringFromNumber(double millimeters) {
    const double converted = UMeasureUnits::ConvertFromMillimeters(mUnitType, millimeters);
    const std::string abbreviation = UMeasureUnits::GetUnitName(mUnitType, true);
    int maxFraction = 1;
    int minFraction = 0;
    if (mUnitType >= UMeasureUnits::kUnitTypeMeters && mUnitType <= UMeasureUnits::kUnitTypeYards) {
        maxFraction = 2;
        minFraction = 1;
    }
    if (mHighPrecisionMode) maxFraction = minFraction = 3;

    std::string number;
    if (mImpl->format) {
        mImpl->format->setMinimumIntegerDigits(1);
        mImpl->format->setMaximumFractionDigits(maxFraction);
        mImpl->format->setMinimumFractionDigits(minFraction);
        icu::UnicodeString text;
        mImpl->format->format(converted, text);
        text.toUTF8String(number);
    }
    return number + " " + abbreviation;
}

std::optional<std::string> QLUnitFormatter::stringForObjectValue(const platform::Value& value) {
    if (auto millimeters = value.numberAsDouble()) return stringFromNumber(*millimeters);
    if (const std::string* text = value.asString()) return *text;
    return std::nullopt;
}

bool QLUnitFormatter::getObjectValue(platform::Value* value, const std::string& text, std::string* errorDescription) {
    static constexpr std::string_view kKept = "1234567890 -.,'";
    std::string cleaned;
    for (const char c : text) {
        if (kKept.find(c) != std::string_view::npos) cleaned += c;
    }
    cleaned = withoutBlanksAround(cleaned);

    std::optional<double> number = mImpl->parse(cleaned);
    if (!number) {
        const auto pieces = digitGroups(cleaned);
        if (pieces.size() >= 2) number = mImpl->parse(pieces.front());
    }
    if (!number) {
        if (errorDescription) *errorDescription = "\"" + text + "\" is not a length";
        return false;
    }
    if (value) *value = platform::Value(UMeasureUnits::ConvertToMillimeters(mUnitType, *number));
    return true;
}
