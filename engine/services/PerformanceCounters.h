#pragma once
// Performance counters: timed operations add their duration in milliseconds
// to a named counter; the service keeps every sample per name and writes a
// summary to the app log or a CSV table. Counting is off until Enable.

#include "engine/services/ServiceLocator.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class DispatchQueue;
}

// One signed 32-bit value. Comparisons and sums use the other counter's
// GetIntValue.
class CStatisticsCounter {
public:
    explicit CStatisticsCounter(std::int32_t value = 0) : mValue(value) {}
    virtual ~CStatisticsCounter() = default;

    virtual int GetIntValue() const;
    virtual double GetDoubleValue() const;
    virtual std::string ToString() const = 0;
    virtual void Assign(const CStatisticsCounter& other);
    virtual bool IsLessThan(const CStatisticsCounter& other) const;
    virtual bool IsGreaterThan(const CStatisticsCounter& other) const;
    // Saturates at the limits of the 32-bit value instead of overflowing.
    virtual void Add(const CStatisticsCounter& other);

protected:
    std::int32_t mValue;
};

class CIntStatisticsCounter : public CStatisticsCounter {
public:
    using CStatisticsCounter::CStatisticsCounter;
    std::string ToString() const override;  // "%d"
};

// A duration in milliseconds.
class CTimeSpanStatisticsCounter : public CStatisticsCounter {
public:
    using CStatisticsCounter::CStatisticsCounter;
    // " 1.234s" for 1,234 ms; minutes come first above 60,000 ms:
    // "1m  1.005s" for 61,005 ms. Milliseconds always take three digits.
    std::string ToString() const override;
};

// The samples of one counter name, in the order added.
class CStatisticsCounterSeries {
public:
    explicit CStatisticsCounterSeries(std::string name) : mName(std::move(name)) {}

    // Ties keep the earlier sample as the largest or smallest.
    void AddSample(std::unique_ptr<CStatisticsCounter> sample);

    const std::string& GetName() const { return mName; }
    std::size_t GetCount() const { return mSamples.size(); }
    const CStatisticsCounter* GetSample(std::size_t index) const { return mSamples.at(index).get(); }
    // Null while the series is empty.
    const CStatisticsCounter* GetLargest() const { return mLargest; }
    const CStatisticsCounter* GetSmallest() const { return mSmallest; }

    // Sets `total` to the sum of every sample.
    void GetTotal(CIntStatisticsCounter& total) const;
    // Total / count; 0.0 for an empty series.
    double GetAverage() const;

private:
    std::vector<std::unique_ptr<CStatisticsCounter>> mSamples;
    const CStatisticsCounter* mLargest = nullptr;
    const CStatisticsCounter* mSmallest = nullptr;
    std::string mName;
};

class PerformanceCountersServiceBase : public CLocatableService {
public:
    virtual void AddLibraryLoadTime(int milliseconds) = 0;
    virtual void AddToCounter(const char* name, int milliseconds) = 0;
    virtual void DumpCounters() = 0;
    virtual void Enable() = 0;
    virtual void Disable() = 0;
    virtual bool IsEnabled() const = 0;
    // False when the file cannot be opened or written.
    virtual bool WriteToCsv(const std::string& path) = 0;
};

class QLPerformanceCountersService : public PerformanceCountersServiceBase {
public:
    QLPerformanceCountersService();
    ~QLPerformanceCountersService() override;

    std::string GetServiceName() const override { return "PerformanceCountersService"; }
    // Adds to the counter "LibraryLoadTime".
    void AddLibraryLoadTime(int milliseconds) override;
    // Dropped while disabled or when `name` is null; otherwise queued, so the
    // caller does no map work.
    void AddToCounter(const char* name, int milliseconds) override;
    void DumpCounters() override;
    void Enable() override { mEnabled = true; }
    void Disable() override { mEnabled = false; }
    bool IsEnabled() const override { return mEnabled; }
    bool WriteToCsv(const std::string& path) override;

private:
    // Only on the queue.
    CStatisticsCounterSeries& GetOrCreateSeries(const std::string& name);

    std::map<std::string, std::unique_ptr<CStatisticsCounterSeries>> mSeries;
    std::atomic<bool> mEnabled{false};
    // Declared after the map: its destructor runs pending blocks, which
    // still need the map.
    std::unique_ptr<platform::DispatchQueue> mQueue;
};

// Wall-clock stopwatch (monotonic), milliseconds with fractions.
class CStopwatch {
public:
    CStopwatch();
    void Start();
    // Elapsed milliseconds up to now, which becomes the stop time.
    double Stop();
    // Up to now while running, else up to the stop time.
    double ElapsedMilliseconds() const;
    bool IsRunning() const { return mRunning; }

private:
    static void ReadTime(std::int64_t& seconds, std::int32_t& microseconds);

    std::int64_t mStartSeconds = 0;
    std::int32_t mStartMicroseconds = 0;
    std::int64_t mStopSeconds = 0;
    std::int32_t mStopMicroseconds = 0;
    bool mRunning = false;
};

// The app side's entry to the performance counters.
class QLPerformanceCounters {
public:
    // The registered service, or null while none is registered (a failed
    // lookup is not remembered, so a later registration is found).
    static PerformanceCountersServiceBase* performanceService();
    // Forgets the kept service: the next call locates the one registered
    // then. For tests that register a service of their own, one after
    // another in a process.
    static void forgetService();

    // Rounds to the nearest whole millisecond, halves away from zero.
    static void addToCounter(const std::string& name, double measurement);
    static void dumpCounters();
    static bool writeToCsv(const std::string& path);
    // The CSV lines, header first; nullopt when the table cannot be written
    // or read. The temporary file is removed.
    static std::optional<std::vector<std::string>> getCountersAsStrings();
};
