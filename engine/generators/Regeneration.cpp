#include "engine/generators/Regeneration.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

#include "engine/model/ElementComponents.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/ContentChanges.h"
#include "engine/model/Layout.h"
#include "engine/model/TrackConnections.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/Logger.h"
#include "platform/foundation/OwnedList.h"

namespace {

constexpr const char* kRegenerateSignature =
    "static CPoint UGeneratedElements::RegenerateComponents(CCompositeGeometry *, CReferencePointComparer *)";

// A dimension keeps the line width of its key 43 instead of the element's.
constexpr int kDimensionLineWidthKey = 43;

bool HasGeneratedComponent(const CCompositeGeometry& element) {
    const tComponents& components = element.GetComponents();
    return std::any_of(components.begin(), components.end(),
                       [](const CBasicGeometry* component) { return component->IsGenerated(); });
}

// Steps before generating, on the element itself or on its scratch copy:
// angle 0, element actions undone, moved to the origin, generated
// components gone.
void PrepareForGenerating(CCompositeGeometry& element, const tGeneratorMap& generators) {
    element.SetAngle(0.0);
    for (const auto& entry : generators) UGeneratedElements::ResetElementActions(&element, entry.first);
    if (!element.GetComponents().empty()) {
        element.MoveToOrigin(nullptr);
        UElementComponents::RemoveGeneratedComponents(element.GetComponents(), 0);
    }
}

// Runs the generators on a scratch copy of the element, each seeing the
// results of those before it as the element itself would. On success the
// new components, one list per generator entry, are handed out (taken from
// the scratch, which is deleted); on failure nothing is kept.
bool GenerateOnScratchCopy(const CCompositeGeometry& element, const tGeneratorMap& generators,
                           std::vector<tComponents>& results) {
    CCompositeGeometry scratch(element);
    bool succeeded = true;
    try {
        PrepareForGenerating(scratch, generators);
        for (const auto& [type, parameters] : generators) {
            tGeneratorParameters copy = parameters;
            tComponents generated = UComponentGeneratorFactory::GetGeneratorForType(type)->Generate(copy, &scratch);
            if (generated.empty()) {
                LogWarning("Generator (%d) returned an empty components vector w/ parameters: %s", type,
                           UComponentGeneratorParameters::ToString(parameters).c_str());
                succeeded = false;
            }
            UElementComponents::MarkAsGenerated(generated, type);
            tComponents& components = scratch.GetComponents();
            components.insert(components.end(), generated.begin(), generated.end());
            results.push_back(std::move(generated));
        }
    } catch (const std::exception& error) {
        LogWarning("Generating components failed in %s: %s", kRegenerateSignature, error.what());
        succeeded = false;
    }

    // The scratch owns what was generated until here; take the lists out of
    // it so that they survive it, or leave them to be deleted with it.
    tComponents& components = scratch.GetComponents();
    for (const tComponents& list : results) {
        for (CBasicGeometry* component : list)
            components.erase(std::remove(components.begin(), components.end(), component), components.end());
    }
    if (!succeeded) {
        for (tComponents& list : results) {
            platform::DeleteAll(list);
        }
        results.clear();
    }
    return succeeded;
}

}  // namespace

namespace UGeneratedElements {

CPoint RegenerateComponents(CCompositeGeometry* element, CReferencePointComparer* comparer) {
    UErrorHandling::ThrowIfNull(element, kRegenerateSignature, "Parameter is NULL");
    const tGeneratorMap generators = element->GetGeneratorMap();

    if (generators.empty() && HasGeneratedComponent(*element)) {
        LogWarning("Found generated component(s) but no generators present in element");
        UActivityAnalytics::TrackIntegrityCheckFailure("MissingGenerator.RegenerateComponents.UGeneratedElements");
        // Nothing could make them again: they stay.
        LogWarning("Element %s kept as it was in %s", element->GetIdentifier().c_str(), kRegenerateSignature);
        return CPoint();
    }

    std::vector<tComponents> results;
    if (!GenerateOnScratchCopy(*element, generators, results)) {
        LogWarning("Element %s kept as it was in %s", element->GetIdentifier().c_str(), kRegenerateSignature);
        return CPoint();
    }

    const double angle = element->GetAngle();
    const std::int32_t lineWidth = UElementComponents::GetMaxLineWidth(element);
    PrepareForGenerating(*element, generators);
    tComponents& components = element->GetComponents();
    for (const tComponents& list : results) components.insert(components.end(), list.begin(), list.end());

    if (components.empty()) {
        LogWarning("Components empty after regenerating in %s", kRegenerateSignature);
        UActivityAnalytics::TrackIntegrityCheckFailure("EmptyComponents.RegenerateComponents.UGeneratedElements");
    }
    element->SetAngle(angle);
    const bool dimensionKeepsWidth = UGeneratorParameters::HasParameter(
        UGeneratorParameters::GetParametersForGenerator(generators, kGeneratorDimension), kDimensionLineWidthKey);
    if (!dimensionKeepsWidth) UElementComponents::SetLineWidth(element, lineWidth);
    const CPoint offset = element->MoveToOrigin(nullptr);
    if (comparer != nullptr) RestoreReferencePosition(element, comparer);
    for (const auto& entry : generators) PerformElementActions(element, entry.first);
    element->UpdateJoints();
    return offset;
}

void RestoreReferencePosition(CCompositeGeometry* element, CReferencePointComparer* comparer) {
    static const char* const kSignature =
        "static void UGeneratedElements::RestoreReferencePosition(CCompositeGeometry *, CReferencePointComparer *)";
    UErrorHandling::ThrowIfNull(element, kSignature, "Parameter is NULL");
    UErrorHandling::ThrowIfNull(comparer, kSignature, "Parameter is NULL");
    element->Rotate(CPoint(0.0, 0.0, 0.0), -comparer->GetAngleDifference());
    const CPoint offset = comparer->GetOffset();
    CPoint position = element->GetPosition();
    position.x -= offset.x;
    position.y -= offset.y;
    element->SetPosition(position);
    element->UpdateJoints();
}

void ResetElementActions(CCompositeGeometry* element, int generatorType) {
    if (element == nullptr) return;
    tGeneratorParameters parameters =
        UGeneratorParameters::GetParametersForGenerator(element->GetGeneratorMap(), generatorType);
    if (parameters.empty()) return;
    CComponentGenerator* generator = UComponentGeneratorFactory::GetGeneratorForType(generatorType);
    if (generator->HasElementActions()) generator->ResetElementActions(parameters, element);
}

void PerformElementActions(CCompositeGeometry* element, int generatorType) {
    if (element == nullptr) return;
    tGeneratorParameters parameters =
        UGeneratorParameters::GetParametersForGenerator(element->GetGeneratorMap(), generatorType);
    if (parameters.empty()) return;
    CComponentGenerator* generator = UComponentGeneratorFactory::GetGeneratorForType(generatorType);
    if (generator->HasElementActions()) generator->PerformElementActions(parameters, element);
}

}  // namespace UGeneratedElements

namespace UGeneratorParameters {

double GetGeneratorDouble(const CCompositeGeometry* element, int generatorType, int key) {
    if (element == nullptr) return 0.0;
    return GetGeneratorDouble(element->GetGeneratorMap(), generatorType, key, 0.0);
}

}  // namespace UGeneratorParameters

// A member of the document, kept with the generators so that the model does
// not reach up into them.
CPoint CLayout::RegenerateElement(CCompositeGeometry* element) {
    if (element == nullptr) return CPoint();
    mJoints.RemoveElementJoints(element);
    const CPoint offset = UGeneratedElements::RegenerateComponents(element, nullptr);
    UContentChanges::Note();
    mJoints.AddElementJoints(element);
    mJoints.RebuildConnections();
    return offset;
}
