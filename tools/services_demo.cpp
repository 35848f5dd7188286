// vekmont-services: starts the telemetry client and the engine's services in
// a fresh app root, as the app does at launch, and prints what they give.
// The app root is left in place so its log file can be read afterwards.

#include "engine/model/MeasureUnits.h"
#include "engine/model/RailConstants.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/EngineStartup.h"
#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"
#include "engine/services/ServiceLocator.h"
#include "engine/services/TextCalculationService.h"
#include "platform/foundation/Paths.h"
#include "telemetry/Internals/Channel/TLMChannelUnitDefault.h"
#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TLMTelemetry.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const char* const kDemoAppSecret = "7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3";

void Heading(const char* title) { std::printf("\n== %s ==\n", title); }

void PrintServices() {
    Heading("Registered services");
    const char* const names[] = {"ActivityAnalyticsService", "LocalizationService", "PreferencesService",
                                 "TextCalculationService", "PerformanceCountersService"};
    for (const char* name : names) {
        CLocatableService* service = CServiceLocator::Instance().LocateService(name);
        std::printf("  %-28s %s\n", name, service != nullptr ? service->GetServiceName().c_str() : "(missing)");
    }
}

// `text` padded with blanks to `columns` characters (UTF-8 aware).
std::string PadRight(const std::string& text, std::size_t columns) {
    std::size_t characters = 0;
    for (unsigned char byte : text) characters += (byte & 0xC0) != 0x80;
    return characters >= columns ? text : text + std::string(columns - characters, ' ');
}

void PrintModelScales() {
    Heading("Model scales");
    std::printf("  %4s  %s %10s %9s\n", "code", PadRight("name", 20).c_str(), "factor", "gauge mm");
    for (int code = URailConstants::kFirstModelScale; code <= URailConstants::kLastModelScale; ++code) {
        const std::string name = PadRight(URailConstants::GetModelScaleAsString(code, false), 20);
        std::printf("  %4d  %s %10.6f %9.2f\n", code, name.c_str(), URailConstants::GetFactorForModelScale(code),
                    URailConstants::GetGaugeForModelScale(code));
    }
}

void PrintUnits() {
    Heading("Measure units");
    std::printf("  1000 mm = %g cm = %g m = %g in = %g ft = %g yd\n",
                UMeasureUnits::ConvertFromMillimeters(UMeasureUnits::kUnitTypeCentimeters, 1000),
                UMeasureUnits::ConvertFromMillimeters(UMeasureUnits::kUnitTypeMeters, 1000),
                UMeasureUnits::ConvertFromMillimeters(UMeasureUnits::kUnitTypeInches, 1000),
                UMeasureUnits::ConvertFromMillimeters(UMeasureUnits::kUnitTypeFeet, 1000),
                UMeasureUnits::ConvertFromMillimeters(UMeasureUnits::kUnitTypeYards, 1000));
    std::printf("  1 in = %g mm, 1 ft = %g mm\n",
                UMeasureUnits::ConvertToMillimeters(UMeasureUnits::kUnitTypeInches, 1),
                UMeasureUnits::ConvertToMillimeters(UMeasureUnits::kUnitTypeFeet, 1));
    for (int unit = UMeasureUnits::kUnitTypeMillimeters; unit <= UMeasureUnits::kUnitTypeYards; ++unit) {
        std::printf("  1234.5 mm in unit %d: %s\n", unit, UMeasureUnits::FormatLength(unit, 1234.5).c_str());
    }
}

void PrintTextBounds() {
    Heading("Text measurement");
    auto* service = CServiceLocator::Instance().LocateServiceAs<TextCalculationServiceBase>("TextCalculationService");
    if (service == nullptr) {
        std::printf("  (no text measurement service)\n");
        return;
    }
    for (double angle : {0.0, 90.0}) {
        const tDoubleRect bounds = service->GetTextBounds("DejaVu Sans", 12, "Vekmont", angle);
        std::printf("  \"Vekmont\" in DejaVu Sans 12 at %g degrees: %.2f wide, %.2f high\n", angle, bounds.Width(),
                    bounds.Height());
    }
}

void PrintCurrency() {
    Heading("Currency");
    std::printf("  EUR 1234.5: %s\n", ULocalization::FormatCurrency("EUR", 1234.5).c_str());
}

void PrintAnalytics() {
    Heading("Analytics");
    QLActivityAnalytics::trackEvent("ServicesDemo", {{"Tool", "vekmont-services"}});
    std::printf("  telemetry client %s, analytics %s\n", TLMTelemetry::isEnabled() ? "enabled" : "disabled",
                TLMAnalytics::isEnabled() ? "enabled" : "disabled");
    auto unit = TLMAnalytics::sharedInstance().channelUnit();
    const std::vector<TLMPendingLog> queued = unit ? unit->pendingLogs() : std::vector<TLMPendingLog>{};
    std::printf("  %zu event(s) queued in unit \"%s\"\n", queued.size(),
                unit ? unit->configuration().groupId().c_str() : "-");
    for (const TLMPendingLog& pending : queued) {
        const auto* event = dynamic_cast<const TLMEventLog*>(pending.log.get());
        if (event == nullptr) continue;
        std::printf("  - %s (id %s)", event->name().c_str(), event->eventId().c_str());
        for (const auto& [key, value] : event->properties()) std::printf(" %s=%s", key.c_str(), value.c_str());
        std::printf("\n");
    }
}

void PrintLogTail(const std::filesystem::path& logPath) {
    Heading("Log");
    std::printf("  file: %s%s\n", logPath.c_str(), std::filesystem::exists(logPath) ? "" : " (not written)");
    std::vector<std::string> lines;
    CLogger::Instance().GetRecentLines(10, lines);
    for (const std::string& line : lines) std::printf("  %s\n", line.c_str());
}

}  // namespace

int main() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vekmont-services-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("vekmont-services: cannot make a temporary app root");
        return 1;
    }
    const std::filesystem::path root = pattern;
    setenv("VEKMONT_HOME", root.c_str(), 1);
    platform::Paths::setRoot(root);
    std::printf("App root: %s\n", root.c_str());

    TLMTelemetry::start(kDemoAppSecret, {&TLMAnalytics::sharedInstance});
    const std::filesystem::path logPath = platform::Paths::logs() / "Vekmont.log";
    UEngineStartup::Start(logPath.c_str());

    PrintServices();
    PrintModelScales();
    PrintUnits();
    PrintTextBounds();
    PrintCurrency();
    PrintAnalytics();
    PrintLogTail(logPath);

    TLMLogger::waitUntilIdle();
    std::fflush(stdout);
    return 0;
}
