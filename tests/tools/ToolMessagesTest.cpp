// What the tools print from the log: function signatures taken out, every
// other word kept.

#include <gtest/gtest.h>

#include <string>

#include "tools/common/ToolMessages.h"

TEST(ToolMessages, SignaturesAreTakenOutOfLogTextsAndNothingElse) {
    struct Case {
        const char* name;
        const char* text;
        const char* shown;
    };
    const Case cases[] = {
        {"a leading member with its return type",
         "LayoutErrorCode CLayout::LoadElements(FILE *, int): Failed to load layout, Failed to read the component "
         "count (EndOfFile)",
         "Failed to load layout, Failed to read the component count (EndOfFile)"},
        {"a static member returning a qualified type",
         "static std::string UPriceFormatting::GetCurrencyCode(int32_t): Unknown currency id 7",
         "Unknown currency id 7"},
        {"a pointer return type", "CLayer *CLayerManager::AddLayer(const char *, bool): No name", "No name"},
        {"a const member", "CStraightFlexTrackComponentGenerator::DefaultParameters(CCompositeGeometry *) const: x",
         "x"},
        {"joined by a dash", "bool CTrackLibrary::Load() - Failed to load element 3: cut",
         "Failed to load element 3: cut"},
        {"a free function taking a reference",
         "GetPrototypeTrackFromLibraryElementParameters(tGeneratorParameters &): no track", "no track"},
        {"inside, after 'in'", "Invalid empty key supplied in void CTranslations::Add(const string &, const string &)",
         "Invalid empty key supplied"},
        {"inside, after 'to'",
         "Invalid factor 2.00 supplied to void UTrackConnections::Shorten(CCompositeGeometry *, int, double)",
         "Invalid factor 2.00 supplied"},
        {"no signature", "Element count 7 exceeds what the file can hold",
         "Element count 7 exceeds what the file can hold"},
        {"a product number with brackets", "Empty element 'H0(12)' (lib) encountered - skipping",
         "Empty element 'H0(12)' (lib) encountered - skipping"},
        {"a bracket after a blank", "Layer section ends in layer 3 of 4 (truncated)",
         "Layer section ends in layer 3 of 4 (truncated)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(UToolMessages::WithoutSignatures(c.text), c.shown);
    }
}
