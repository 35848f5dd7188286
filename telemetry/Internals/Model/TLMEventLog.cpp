#include "telemetry/Internals/Model/TLMEventLog.h"

#include "telemetry/TLMLogger.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <algorithm>
#include <vector>

namespace {

const char* const kBaseType = "baseType";
const char* const kBaseData = "baseData";
const char* const kBaseTypePrefix = "baseType.";
const char* const kBaseDataPrefix = "baseData.";
const char* const kMetadataFields = "f";

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

std::vector<std::string> splitAtDots(const std::string& name) {
    std::vector<std::string> keys;
    std::string::size_type start = 0;
    for (;;) {
        const auto dot = name.find('.', start);
        keys.push_back(name.substr(start, dot - start));
        if (dot == std::string::npos) return keys;
        start = dot + 1;
    }
}

// The dictionary under the key, put there when the key is free or holds
// anything else.
TLMOrderedDictionary& dictionaryUnder(TLMOrderedDictionary& node, const std::string& key, bool* created = nullptr) {
    TLMJsonValue* value = node.objectForKey(key);
    if (value == nullptr || value->asDictionary() == nullptr) {
        node.setObject(TLMOrderedDictionary(), key);
        value = node.objectForKey(key);
        if (created != nullptr) *created = true;
    }
    return *value->asDictionary();
}

// The value in its JSON form under the key of the node; false, with a
// warning, when there is no node or the key holds a value already.
bool addTypedPropertyToTree(const TLMTypedProperty& property, TLMOrderedDictionary* node, const std::string& key) {
    if (node == nullptr || node->objectForKey(key) != nullptr) {
        TLMLogWarning(kTLMAnalyticsLogTag, "Property key '%s' already has a value, choosing one.", key.c_str());
        return false;
    }
    if (const auto* text = dynamic_cast<const TLMStringTypedProperty*>(&property)) {
        if (text->value()) node->setObject(*text->value(), key);
    } else if (const auto* boolean = dynamic_cast<const TLMBooleanTypedProperty*>(&property)) {
        node->setObject(boolean->value(), key);
    } else if (const auto* integer = dynamic_cast<const TLMLongTypedProperty*>(&property)) {
        node->setObject(integer->value(), key);
    } else if (const auto* real = dynamic_cast<const TLMDoubleTypedProperty*>(&property)) {
        node->setObject(real->value(), key);
    } else if (const auto* date = dynamic_cast<const TLMDateTimeTypedProperty*>(&property)) {
        if (date->value()) node->setObject(TLMUtility::dateToISO8601(*date->value()), key);
    }
    return true;
}

// One property into the data tree under its dotted name, and its type into
// the metadata tree ("f" nodes) when it has one.
void addTypedProperty(const TLMTypedProperty& property, TLMOrderedDictionary& metadata,
                      TLMOrderedDictionary& properties) {
    const std::optional<std::int64_t> typeId = TLMEventLog::metadataTypeId(property.type());
    const std::vector<std::string> keys = splitAtDots(property.name());
    TLMOrderedDictionary* propertyNode = &properties;
    TLMOrderedDictionary* metadataNode = &metadata;
    TLMOrderedDictionary* createdFieldsAt = nullptr;  // the outermost node that got its "f" from this call
    for (std::size_t i = 0; i + 1 < keys.size(); ++i) {
        const std::string& key = keys[i];
        TLMJsonValue* held = propertyNode->objectForKey(key);
        if (held != nullptr && held->asDictionary() == nullptr) {
            propertyNode = nullptr;
            break;
        }
        propertyNode = &dictionaryUnder(*propertyNode, key);
        if (typeId) {
            bool created = false;
            TLMOrderedDictionary& fields = dictionaryUnder(*metadataNode, kMetadataFields, &created);
            if (created && createdFieldsAt == nullptr) createdFieldsAt = metadataNode;
            metadataNode = &dictionaryUnder(fields, key);
        }
    }
    const bool added = addTypedPropertyToTree(property, propertyNode, keys.back());
    if (typeId && added) {
        dictionaryUnder(*metadataNode, kMetadataFields).setObject(*typeId, keys.back());
    } else if (!added && createdFieldsAt != nullptr) {
        createdFieldsAt->removeObjectForKey(kMetadataFields);
    }
}

}  // namespace

TLMEventLog::TLMEventLog() { setType("event"); }

TLMEventLog::TLMEventLog(const TLMKeyedUnarchiver& coder)
    : TLMLogWithNameAndProperties(coder),
      mEventId(coder.decodeString("id")),
      mTypedProperties(coder.decodeObjectOfClass<TLMEventProperties>("typedProperties")) {}

std::optional<std::int64_t> TLMEventLog::metadataTypeId(const std::string& type) {
    if (type == "long") return 4;
    if (type == "double") return 6;
    if (type == "dateTime") return 9;
    return std::nullopt;
}

bool TLMEventLog::isValid() const {
    if (!TLMLogWithNameAndProperties::isValid()) return false;
    if (mEventId.empty()) return reportInvalidField("eventId");
    return true;
}

TLMOrderedDictionary TLMEventLog::serializeToDictionary() const {
    TLMOrderedDictionary dictionary = TLMLogWithNameAndProperties::serializeToDictionary();
    setText(dictionary, mEventId, "id");
    if (mTypedProperties) dictionary.setObject(mTypedProperties->serializeToArray(), "typedProperties");
    return dictionary;
}

bool TLMEventLog::isEqual(const TLMCoding& other) const {
    const auto* log = dynamic_cast<const TLMEventLog*>(&other);
    return log != nullptr && TLMLogWithNameAndProperties::isEqual(other) && mEventId == log->mEventId;
}

void TLMEventLog::encodeWithCoder(TLMKeyedArchiver& coder) const {
    TLMLogWithNameAndProperties::encodeWithCoder(coder);
    coder.encodeString(mEventId, "id");
    if (mTypedProperties) coder.encodeObject(TLMArchiveValue(mTypedProperties), "typedProperties");
}

std::shared_ptr<TLMUnifiedSchemaLog> TLMEventLog::toUnifiedSchemaLogForTargetToken(const std::string& token,
                                                                                   TLMFlags flags) const {
    std::shared_ptr<TLMUnifiedSchemaLog> log =
        TLMLogWithNameAndProperties::toUnifiedSchemaLogForTargetToken(token, flags);
    log->setName(name());
    setPropertiesAndMetadataForCSLog(*log);
    log->setTag(tag());
    return log;
}

void TLMEventLog::setPropertiesAndMetadataForCSLog(TLMUnifiedSchemaLog& log) const {
    if (!mTypedProperties) return;
    // A copy: the event goes on to other targets (and its own unit) whole.
    TLMEventProperties::Properties properties = mTypedProperties->properties();

    const auto baseType = properties.find(kBaseType);
    const bool baseTypeIsText =
        baseType != properties.end() && dynamic_cast<const TLMStringTypedProperty*>(baseType->second.get()) != nullptr;
    if (baseTypeIsText) {
        const bool hasBaseData = std::any_of(properties.begin(), properties.end(), [](const auto& entry) {
            return startsWith(entry.first, kBaseDataPrefix);
        });
        if (!hasBaseData) {
            TLMLogWarning(kTLMAnalyticsLogTag, "baseType was set but baseData is missing.");
            properties.erase(kBaseType);
        }
    } else {
        bool removedBaseData = false;
        for (auto entry = properties.begin(); entry != properties.end();) {
            if (startsWith(entry->first, kBaseDataPrefix)) {
                entry = properties.erase(entry);
                removedBaseData = true;
            } else {
                ++entry;
            }
        }
        if (removedBaseData) TLMLogWarning(kTLMAnalyticsLogTag, "baseData was set but baseType is missing or invalid.");
        properties.erase(kBaseType);
    }

    TLMOrderedDictionary propertyTree;
    TLMOrderedDictionary metadataTree;
    for (const auto& [name, property] : properties) {
        if (startsWith(name, kBaseTypePrefix)) {
            TLMLogWarning(kTLMAnalyticsLogTag, "baseType must not be an object.");
        } else if (name == kBaseData) {
            TLMLogWarning(kTLMAnalyticsLogTag, "baseData must be an object.");
        } else {
            addTypedProperty(*property, metadataTree, propertyTree);
        }
    }
    if (propertyTree.count() > 0) {
        auto data = std::make_shared<TLMCSData>();
        data->setProperties(std::move(propertyTree));
        log.setData(std::move(data));
    }
    if (metadataTree.count() > 0) {
        if (!log.ext()) log.setExt(std::make_shared<TLMCSExtensions>());
        auto metadata = std::make_shared<TLMMetadataExtension>();
        metadata->setMetadata(std::move(metadataTree));
        log.ext()->setMetadataExt(std::move(metadata));
    }
}
