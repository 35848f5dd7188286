#include "engine/services/PerformanceCounters.h"

#include "engine/services/Logger.h"
#include "engine/services/StringFormat.h"
#include "engine/services/Uuid.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/TextEncoding.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <mutex>
#include <sstream>
#include <system_error>

// ---- counters -------------------------------------------------------------

int CStatisticsCounter::GetIntValue() const { return mValue; }

double CStatisticsCounter::GetDoubleValue() const { return static_cast<double>(mValue); }

void CStatisticsCounter::Assign(const CStatisticsCounter& other) { mValue = other.GetIntValue(); }

bool CStatisticsCounter::IsLessThan(const CStatisticsCounter& other) const { return mValue < other.GetIntValue(); }

bool CStatisticsCounter::IsGreaterThan(const CStatisticsCounter& other) const { return mValue > other.GetIntValue(); }

void CStatisticsCounter::Add(const CStatisticsCounter& other) {
    const std::int64_t sum = static_cast<std::int64_t>(mValue) + other.GetIntValue();
    if (sum > std::numeric_limits<std::int32_t>::max()) mValue = std::numeric_limits<std::int32_t>::max();
    else if (sum < std::numeric_limits<std::int32_t>::min()) mValue = std::numeric_limits<std::int32_t>::min();
    else mValue = static_cast<std::int32_t>(sum);
}

std::string CIntStatisticsCounter::ToString() const { return FormatString("%d", mValue); }

std::string CTimeSpanStatisticsCounter::ToString() const {
    // Work on the magnitude in 64 bits so that INT32_MIN cannot overflow.
    std::int64_t value = mValue;
    std::string text;
    if (value < 0) {
        text = "-";
        value = -value;
    }
    if (value > 60000) {
        const std::int64_t minutes = value / 60000;
        text += FormatString("%lldm ", static_cast<long long>(minutes));
        value -= minutes * 60000;
    }
    text += FormatString("%2lld.", static_cast<long long>(value / 1000));
    text += FormatString("%03llds", static_cast<long long>(value % 1000));
    return text;
}

void CStatisticsCounterSeries::AddSample(std::unique_ptr<CStatisticsCounter> sample) {
    if (!sample) return;
    if (mLargest == nullptr || mLargest->IsLessThan(*sample)) mLargest = sample.get();
    if (mSmallest == nullptr || mSmallest->IsGreaterThan(*sample)) mSmallest = sample.get();
    mSamples.push_back(std::move(sample));
}

void CStatisticsCounterSeries::GetTotal(CIntStatisticsCounter& total) const {
    total.Assign(CIntStatisticsCounter(0));
    for (const auto& sample : mSamples) total.Add(*sample);
}

double CStatisticsCounterSeries::GetAverage() const {
    if (mSamples.empty()) return 0.0;
    CIntStatisticsCounter total;
    GetTotal(total);
    return total.GetDoubleValue() / static_cast<double>(mSamples.size());
}

// ---- service ----------------------------------------------------------------

QLPerformanceCountersService::QLPerformanceCountersService()
    : mQueue(std::make_unique<platform::DispatchQueue>("com.vekmont.engine.performance-counters")) {}

QLPerformanceCountersService::~QLPerformanceCountersService() {
    // Finish the queued adds while the map still exists.
    mQueue.reset();
}

void QLPerformanceCountersService::AddLibraryLoadTime(int milliseconds) {
    AddToCounter("LibraryLoadTime", milliseconds);
}

void QLPerformanceCountersService::AddToCounter(const char* name, int milliseconds) {
    if (!mEnabled || name == nullptr) return;
    mQueue->async([this, counterName = std::string(name), milliseconds] {
        GetOrCreateSeries(counterName).AddSample(std::make_unique<CTimeSpanStatisticsCounter>(milliseconds));
    });
}

CStatisticsCounterSeries& QLPerformanceCountersService::GetOrCreateSeries(const std::string& name) {
    auto& slot = mSeries[name];
    if (!slot) slot = std::make_unique<CStatisticsCounterSeries>(name);
    return *slot;
}

void QLPerformanceCountersService::DumpCounters() {
    LogInfo("==  Statistic Counters  ==");
    mQueue->sync([this] {
        for (const auto& [name, series] : mSeries) {
            if (series->GetCount() == 0) continue;
            if (series->GetCount() == 1) {
                LogInfo(" * %s :  %dms", name.c_str(), series->GetSample(0)->GetIntValue());
                continue;
            }
            CIntStatisticsCounter total;
            series->GetTotal(total);
            LogInfo(" * %s [%d\u2A09] (%dms):  %dms > %.1fms > %dms", name.c_str(),
                    static_cast<int>(series->GetCount()), total.GetIntValue(), series->GetLargest()->GetIntValue(),
                    series->GetAverage(), series->GetSmallest()->GetIntValue());
        }
    });
}

bool QLPerformanceCountersService::WriteToCsv(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;

    bool written = true;
    auto put = [&](const std::string& text) {
        if (written && std::fwrite(text.data(), 1, text.size(), file) != text.size()) written = false;
    };
    mQueue->sync([&] {
        put("Name,Calls,Total (ms),Average (ms)\n");
        for (const auto& [name, series] : mSeries) {
            CIntStatisticsCounter total;
            series->GetTotal(total);
            // Whole lines, however long the name: a cut line would lose its
            // newline and run into the next row.
            std::string line = name;
            line += FormatString(",%d\u00D7,%d,%.1f\n", static_cast<int>(series->GetCount()), total.GetIntValue(),
                                 series->GetAverage());
            put(line);
        }
    });
    if (std::fclose(file) != 0) written = false;
    return written;
}

// ---- stopwatch ----------------------------------------------------------------

CStopwatch::CStopwatch() {
    ReadTime(mStartSeconds, mStartMicroseconds);
    mStopSeconds = mStartSeconds;
    mStopMicroseconds = mStartMicroseconds;
}

void CStopwatch::ReadTime(std::int64_t& seconds, std::int32_t& microseconds) {
    const auto now =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    seconds = now / 1000000;
    microseconds = static_cast<std::int32_t>(now % 1000000);
}

void CStopwatch::Start() {
    ReadTime(mStartSeconds, mStartMicroseconds);
    mStopSeconds = mStartSeconds;
    mStopMicroseconds = mStartMicroseconds;
    mRunning = true;
}

double CStopwatch::Stop() {
    ReadTime(mStopSeconds, mStopMicroseconds);
    mRunning = false;
    return ElapsedMilliseconds();
}

double CStopwatch::ElapsedMilliseconds() const {
    std::int64_t seconds = mStopSeconds;
    std::int32_t microseconds = mStopMicroseconds;
    if (mRunning) ReadTime(seconds, microseconds);
    const double end = static_cast<double>(seconds) * 1000.0 + microseconds / 1000.0;
    const double start = static_cast<double>(mStartSeconds) * 1000.0 + mStartMicroseconds / 1000.0;
    return end - start;
}

// ---- app side -----------------------------------------------------------------

namespace {

std::mutex gKeptServiceMutex;
PerformanceCountersServiceBase* gKeptService = nullptr;  // guarded by gKeptServiceMutex

}  // namespace

PerformanceCountersServiceBase* QLPerformanceCounters::performanceService() {
    std::lock_guard<std::mutex> lock(gKeptServiceMutex);
    if (gKeptService == nullptr) {
        gKeptService =
            CServiceLocator::Instance().LocateServiceAs<PerformanceCountersServiceBase>("PerformanceCountersService");
    }
    return gKeptService;
}

void QLPerformanceCounters::forgetService() {
    std::lock_guard<std::mutex> lock(gKeptServiceMutex);
    gKeptService = nullptr;
}

void QLPerformanceCounters::addToCounter(const std::string& name, double measurement) {
    PerformanceCountersServiceBase* service = performanceService();
    if (service == nullptr || !service->IsEnabled()) return;
    if (!std::isfinite(measurement)) return;
    // std::lround rounds halves away from zero; clamp first so the result fits.
    const double limit = std::numeric_limits<int>::max();
    if (measurement > limit) measurement = limit;
    if (measurement < -limit) measurement = -limit;
    service->AddToCounter(name.c_str(), static_cast<int>(std::lround(measurement)));
}

void QLPerformanceCounters::dumpCounters() {
    if (PerformanceCountersServiceBase* service = performanceService()) service->DumpCounters();
}

bool QLPerformanceCounters::writeToCsv(const std::string& path) {
    PerformanceCountersServiceBase* service = performanceService();
    return service != nullptr && service->WriteToCsv(path);
}

std::optional<std::vector<std::string>> QLPerformanceCounters::getCountersAsStrings() {
    const std::filesystem::path path = platform::Paths::tmp() / UUuid::NewUuidString();
    std::error_code ignored;
    if (!writeToCsv(path.string())) {
        std::filesystem::remove(path, ignored);
        return std::nullopt;
    }

    std::ostringstream contents;
    bool readOk = false;
    {
        std::ifstream in(path, std::ios::binary);
        if (in.is_open()) {
            contents << in.rdbuf();
            readOk = !contents.fail();
        }
    }
    std::filesystem::remove(path, ignored);
    // The table is read as UTF-8 text; bytes that are not give no lines.
    if (!readOk || !platform::isValidUtf8(contents.view())) return std::nullopt;

    std::string text = contents.str();
    if (!text.empty() && text.back() == '\n') text.pop_back();
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}
