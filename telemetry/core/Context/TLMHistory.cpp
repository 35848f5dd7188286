#include "telemetry/core/Context/TLMHistory.h"

#include "telemetry/Internals/Util/TLMArchiverUtil.h"
#include "telemetry/core/Util/TLMTelemetryUserDefaults.h"
#include "telemetry/core/Util/TLMUtility.h"


std::vector<std::shared_ptr<TLMHistoryInfo>> TLMLoadHistory(const std::string& defaultsKey) {
    // A context may be read before the client registers its records; a
    // history read without them would be lost at the next change. Adding
    // them again changes nothing (and finds them again after tests emptied
    // the list); a history is read a few times a run.
    TLMArchiverUtil::addAllowedTelemetryModuleClasses();
    std::vector<std::shared_ptr<TLMHistoryInfo>> entries;
    const std::optional<platform::Value> stored = TLMTelemetryUserDefaults::shared().objectForKey(defaultsKey);
    if (!stored || stored->asData() == nullptr) return entries;
    const std::optional<TLMArchiveValue> value = TLMUtility::unarchiveKeyedData(*stored->asData());
    const TLMArchiveValue::Array* array = value ? value->asArray() : nullptr;
    if (array == nullptr) return entries;
    for (const TLMArchiveValue& element : *array) {
        const TLMArchiveValue::Object* object = element.asObject();
        auto entry = object ? std::dynamic_pointer_cast<TLMHistoryInfo>(*object) : nullptr;
        if (entry && entry->timestamp()) entries.push_back(std::move(entry));
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return *a->timestamp() < *b->timestamp(); });
    return entries;
}

void TLMStoreHistory(const std::string& defaultsKey, const std::vector<std::shared_ptr<TLMHistoryInfo>>& entries) {
    TLMArchiveValue::Array array(entries.begin(), entries.end());
    if (const auto data = TLMUtility::archiveKeyedData(TLMArchiveValue(std::move(array)))) {
        TLMTelemetryUserDefaults::shared().setObject(platform::Value(*data), defaultsKey);
    }
}
