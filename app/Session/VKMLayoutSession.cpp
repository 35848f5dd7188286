#include "app/Session/VKMLayoutSession.h"

#include "engine/model/CompositeGeometry.h"
#include "engine/model/ElementNames.h"
#include "engine/services/ZDUtils.h"

VKMLayoutSession& VKMLayoutSession::sharedSession() {
    static VKMLayoutSession session;
    return session;
}

void VKMLayoutSession::setCurrentElement(CCompositeGeometry* element) {
    mCurrentElement = element;
    if (element == nullptr) return;
    ZDUtils::logInfo("Current element switched to '%s' (%s)",
                     UElementNameGenerator::GetDisplayNameForElement(element).c_str(),
                     element->GetLocalizedDescription("en").c_str());
}

void VKMLayoutSession::setCurrentFillColor(CColor color) {
    mCurrentFillColor = color;
    ZDUtils::logInfo("Current color changed to %s", color.ToHexString().c_str());
}

void VKMLayoutSession::forgetDocument() {
    mLayout = nullptr;
    mCurrentElement = nullptr;
    mLastContextMenuElement = nullptr;
}
