// vekmont-services: starts the telemetry client and the engine's services as
// the app does at launch and prints what they give. The app root is
// $VEKMONT_HOME, where the log stays to be read afterwards, or else a
// temporary one that is removed at the end. The exit status is one of
// tools/common/ExitCodes.h.

#include "engine/model/MeasureUnits.h"
#include "engine/model/RailConstants.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/EngineStartup.h"
#include "engine/services/LocalizationService.h"
#include "engine/services/Logger.h"
#include "engine/services/ServiceLocator.h"
#include "engine/services/TextCalculationService.h"
#include "platform/foundation/Paths.h"
#include "telemetry/Internals/Channel/TLMChannelGroupDefault.h"
#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/Internals/Storage/TLMLogDBStorage.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TLMTelemetry.h"
#include "tools/common/ExitCodes.h"
#include "tools/common/ToolSession.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

namespace {

void Usage(FILE* to) {
    std::fprintf(to,
                 "usage: vekmont-services\n"
                 "Starts the telemetry client and the engine's services as the app does at launch and prints\n"
                 "what they give: the registered services, model scales, measure units, text measurement,\n"
                 "currency formatting, the queued analytics events and the last lines of the log.\n"
                 "\n"
                 "options:\n"
                 "  -h, --help   this text\n"
                 "\n"
                 "environment:\n"
                 "  VEKMONT_HOME      app root; the log stays there (Library/Logs/Vekmont.log). Without it\n"
                 "                    a temporary folder in $TMPDIR (or /tmp) is used and removed at the end\n"
                 "  VEKMONT_LANGUAGE  language of the localised texts (default: from the locale)\n"
                 "\n");
    PrintExitCodes(to, {kExitOk, kExitUsage, kExitCannotOpen, kExitInternal});
}

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
    auto group = TLMTelemetry::sharedInstance().channelGroup();
    std::vector<std::shared_ptr<TLMAbstractLog>> stored;
    if (unit && group) {
        // The log database is the logs queue's alone; read it there, after
        // the event above was stored.
        group->logsDispatchQueue()->sync([&] {
            if (auto* storage = dynamic_cast<TLMLogDBStorage*>(group->storage().get())) {
                stored = storage->logsFromDBWithGroupId(unit->configuration().groupId());
            }
        });
    }
    std::printf("  %zu event(s) stored for unit \"%s\"\n", stored.size(),
                unit ? unit->configuration().groupId().c_str() : "-");
    for (const auto& log : stored) {
        const auto* event = dynamic_cast<const TLMEventLog*>(log.get());
        if (event == nullptr) continue;
        std::printf("  - %s (id %s)", event->name().c_str(), event->eventId().c_str());
        for (const auto& [key, value] : event->properties()) std::printf(" %s=%s", key.c_str(), value.c_str());
        std::printf("\n");
    }
}

void PrintLogTail(const std::filesystem::path& logPath, bool removedAtEnd) {
    Heading("Log");
    std::printf("  file: %s%s\n", logPath.c_str(),
                !std::filesystem::exists(logPath) ? " (not written)"
                : removedAtEnd                    ? " (removed with the temporary app root)"
                                                  : "");
    std::vector<std::string> lines;
    CLogger::Instance().GetRecentLines(10, lines);
    for (const std::string& line : lines) std::printf("  %s\n", line.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        Usage(stdout);
        return kExitOk;
    }
    if (argc != 1) {
        std::fprintf(stderr, "vekmont-services: takes no arguments (%s)\nusage: vekmont-services (--help tells more)\n",
                     argv[1]);
        return kExitUsage;
    }
    CToolSession session("vekmont-services");
    if (!session.IsReady()) return kExitCannotOpen;
    std::printf("App root: %s%s\n", session.Root().c_str(),
                session.IsTemporaryRoot() ? " (temporary, removed at the end)" : "");
    try {
        session.StartEngine();
        PrintServices();
        PrintModelScales();
        PrintUnits();
        PrintTextBounds();
        PrintCurrency();
        PrintAnalytics();
        PrintLogTail(platform::Paths::logs() / "Vekmont.log", session.IsTemporaryRoot());
    } catch (const std::exception& error) {
        return session.ReportFailure(error.what());
    }
    return kExitOk;
}
