#include "engine/model/ComponentFactory.h"

#include "engine/model/CurveBIG.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/StraightBIG.h"
#include "engine/model/TextBIG.h"

namespace UComponentFactory {

CBasicGeometry* CreateComponent(int componentType) {
    switch (componentType) {
        case kComponentTypeStraight:
            return new CStraightBIG();
        case kComponentTypeCurve:
            return new CCurveBIG();
        case kComponentTypeText:
            return new CTextBIG();
        case kComponentTypeOval:
            return new COvalBIG();
        default:
            return nullptr;
    }
}

}  // namespace UComponentFactory
