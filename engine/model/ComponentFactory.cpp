#include "engine/model/ComponentFactory.h"

#include "engine/model/CurveBIG.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/StraightBIG.h"
#include "engine/model/TextBIG.h"

namespace UComponentFactory {

CBasicGeometry* CreateComponent(int componentType) {
    switch (componentType) {
        case kComponentTypeStraight: return new CStraightBIG();
        case kComponentTypeCurve: return new CCurveBIG();
        case kComponentTypePoly: return new CPolyBIG();
        case kComponentTypeText: return new CTextBIG();
        case kComponentTypeOval: return new COvalBIG();
        case kComponentTypeFlexTrack: return new CFlexTrackBIG();
        default: return nullptr;
    }
}

}  // namespace UComponentFactory
