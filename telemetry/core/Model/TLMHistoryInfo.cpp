#include "telemetry/core/Model/TLMHistoryInfo.h"

TLMHistoryInfo::TLMHistoryInfo(const TLMKeyedUnarchiver& coder) : mTimestamp(coder.decodeDate("timestampKey")) {}

void TLMHistoryInfo::encodeWithCoder(TLMKeyedArchiver& coder) const { coder.encodeDate(mTimestamp, "timestampKey"); }
