#include "crashes/TelemetryCrashes/Model/TLMErrorReport.h"

#include "platform/foundation/AsciiText.h"
#include "telemetry/core/Util/TLMUtility.h"

namespace {

using Helpers = TLMSerializableObject;

void setDate(TLMOrderedDictionary& dictionary, const std::optional<TLMErrorReport::Date>& date, const char* key) {
    if (date) dictionary.setObject(TLMUtility::dateToISO8601(*date), key);
}

}  // namespace

TLMErrorReport::TLMErrorReport(std::optional<std::string> errorId, std::optional<std::string> reporterKey,
                               std::optional<std::string> signal, std::optional<std::string> exceptionName,
                               std::optional<std::string> exceptionReason, std::optional<Date> appStartTime,
                               std::optional<Date> appErrorTime, std::optional<std::string> codeType,
                               std::optional<std::string> archName, std::optional<std::string> applicationPath,
                               std::optional<Threads> threads, std::optional<Binaries> binaries,
                               std::shared_ptr<TLMDevice> device, std::uint64_t appProcessIdentifier)
    : mIncidentIdentifier(std::move(errorId)),
      mReporterKey(std::move(reporterKey)),
      mSignal(std::move(signal)),
      mExceptionName(std::move(exceptionName)),
      mExceptionReason(std::move(exceptionReason)),
      mAppStartTime(appStartTime),
      mAppErrorTime(appErrorTime),
      mCodeType(std::move(codeType)),
      mArchName(std::move(archName)),
      mApplicationPath(std::move(applicationPath)),
      mThreads(std::move(threads)),
      mBinaries(std::move(binaries)),
      mDevice(std::move(device)),
      mAppProcessIdentifier(appProcessIdentifier) {}

bool TLMErrorReport::isAppKill() const { return mSignal && platform::ascii::uppercased(*mSignal) == "SIGKILL"; }

TLMOrderedDictionary TLMErrorReport::serializeToDictionary() const {
    TLMOrderedDictionary dictionary;
    Helpers::setOptional(dictionary, mIncidentIdentifier, "incidentIdentifier");
    Helpers::setOptional(dictionary, mReporterKey, "reporterKey");
    Helpers::setOptional(dictionary, mSignal, "signal");
    Helpers::setOptional(dictionary, mExceptionName, "exceptionName");
    Helpers::setOptional(dictionary, mExceptionReason, "exceptionReason");
    setDate(dictionary, mAppStartTime, "appStartTime");
    setDate(dictionary, mAppErrorTime, "appErrorTime");
    Helpers::setOptional(dictionary, mCodeType, "codeType");
    Helpers::setOptional(dictionary, mArchName, "archName");
    Helpers::setOptional(dictionary, mApplicationPath, "applicationPath");
    if (mThreads) dictionary.setObject(Helpers::serializedArray(*mThreads), "threads");
    if (mBinaries) dictionary.setObject(Helpers::serializedArray(*mBinaries), "binaries");
    if (mDevice) dictionary.setObject(mDevice->serializeToDictionary(), "device");
    if (mAppProcessIdentifier != 0) dictionary.setObject(std::to_string(mAppProcessIdentifier), "appProcessIdentifier");
    return dictionary;
}

std::string TLMErrorReport::description() const { return serializeToDictionary().jsonText(false).value_or(""); }
