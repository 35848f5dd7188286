#include "telemetry/core/Util/TLMOrderedDictionary.h"

#include "platform/foundation/TextEncoding.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

using Json = nlohmann::ordered_json;

Json toJson(const TLMOrderedDictionary& dictionary);

std::string checkedText(const std::string& text) {
    if (!platform::isValidUtf8(text)) throw std::invalid_argument("a text is not UTF-8");
    return text;
}

Json toJson(const TLMJsonValue& value) {
    switch (value.kind()) {
        case TLMJsonValue::Kind::Null: return nullptr;
        case TLMJsonValue::Kind::Bool: return *value.asBool();
        case TLMJsonValue::Kind::Integer: return *value.asInteger();
        case TLMJsonValue::Kind::Unsigned: return *value.asUnsigned();
        case TLMJsonValue::Kind::Real:
            if (!std::isfinite(*value.asReal())) throw std::invalid_argument("a number is not finite");
            return *value.asReal();
        case TLMJsonValue::Kind::String: return checkedText(*value.asString());
        case TLMJsonValue::Kind::Array: {
            Json array = Json::array();
            for (const TLMJsonValue& element : *value.asArray()) array.push_back(toJson(element));
            return array;
        }
        case TLMJsonValue::Kind::Dictionary: return toJson(*value.asDictionary());
    }
    return nullptr;
}

Json toJson(const TLMOrderedDictionary& dictionary) {
    Json object = Json::object();
    for (const std::string& key : dictionary.order()) object[checkedText(key)] = toJson(*dictionary.objectForKey(key));
    return object;
}

}  // namespace

TLMOrderedDictionary::TLMOrderedDictionary(std::size_t capacity) { mOrder.reserve(capacity); }

void TLMOrderedDictionary::setObject(TLMJsonValue value, const std::string& key) {
    auto [slot, inserted] = mDictionary.insert_or_assign(key, std::move(value));
    if (inserted) mOrder.push_back(slot->first);
}

const TLMJsonValue* TLMOrderedDictionary::objectForKey(const std::string& key) const {
    const auto found = mDictionary.find(key);
    return found == mDictionary.end() ? nullptr : &found->second;
}

TLMJsonValue* TLMOrderedDictionary::objectForKey(const std::string& key) {
    const auto found = mDictionary.find(key);
    return found == mDictionary.end() ? nullptr : &found->second;
}

void TLMOrderedDictionary::removeObjectForKey(const std::string& key) {
    if (mDictionary.erase(key) == 0) return;
    mOrder.erase(std::find(mOrder.begin(), mOrder.end(), key));
}

void TLMOrderedDictionary::removeAllObjects() {
    mOrder.clear();
    mDictionary.clear();
}

bool TLMOrderedDictionary::isEqualToDictionary(const TLMOrderedDictionary& other) const {
    return mOrder == other.mOrder && mDictionary == other.mDictionary;
}

namespace {

bool equalIgnoringOrder(const TLMJsonValue& a, const TLMJsonValue& b) {
    if (a.kind() != b.kind()) return false;
    if (const TLMOrderedDictionary* dictionary = a.asDictionary()) return dictionary->hasEqualPairs(*b.asDictionary());
    if (const TLMJsonValue::Array* array = a.asArray()) {
        const TLMJsonValue::Array& other = *b.asArray();
        return std::equal(array->begin(), array->end(), other.begin(), other.end(), equalIgnoringOrder);
    }
    return a == b;
}

}  // namespace

bool TLMOrderedDictionary::hasEqualPairs(const TLMOrderedDictionary& other) const {
    return std::equal(
        mDictionary.begin(), mDictionary.end(), other.mDictionary.begin(), other.mDictionary.end(),
        [](const auto& a, const auto& b) { return a.first == b.first && equalIgnoringOrder(a.second, b.second); });
}

std::optional<std::string> TLMOrderedDictionary::jsonText(bool prettyPrint, std::string* error) const {
    try {
        // Nothing is escaped that JSON lets stand, "/" included.
        return toJson(*this).dump(prettyPrint ? 2 : -1);
    } catch (const std::exception& failure) {
        if (error) *error = failure.what();
        return std::nullopt;
    }
}

TLMJsonValue::TLMJsonValue(const std::map<std::string, std::string>& texts) {
    TLMOrderedDictionary dictionary(texts.size());
    for (const auto& [key, text] : texts) dictionary.setObject(text, key);
    mStorage = std::move(dictionary);
}
