// Key-value access on each layer class: every key path the class documents
// reads a value of its kind and takes one back through setValueForKeyPath;
// a value of another kind, or a key path the class does not have, changes
// nothing; the transform's parts read and write only while it comes apart.

#include "platform/ui/core/GradientLayer.h"
#include "platform/ui/core/Layer.h"
#include "platform/ui/core/ShapeLayer.h"
#include "platform/ui/core/TextLayer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using platform::Color;
using platform::Path;
using platform::Point;
using platform::Rect;
using platform::Size;
using platform::ui::AnimationValue;
using platform::ui::GradientLayer;
using platform::ui::Layer;
using platform::ui::ShapeLayer;
using platform::ui::TextLayer;
using platform::ui::Transform3D;
using platform::ui::TransformParts;

namespace {

struct Case {
    std::string keyPath;
    AnimationValue value;  // differs from the default
    // The property the key path names, through the class's getters.
    std::function<AnimationValue(const Layer&)> property;
};

TransformParts partsOf(const Layer& layer) { return TransformParts::of(layer.transform()).value(); }

template <typename L>
const L& as(const Layer& layer) {
    return static_cast<const L&>(layer);
}

Path triangle() {
    Path path;
    path.moveTo({0, 0});
    path.lineTo({10, 0});
    path.lineTo({0, 10});
    path.closePath();
    return path;
}

const std::vector<Case>& layerCases() {
    static const std::vector<Case> cases = {
        {"bounds", Rect{1, 2, 30, 40}, [](const Layer& l) -> AnimationValue { return l.bounds(); }},
        {"bounds.origin", Point{3, 4}, [](const Layer& l) -> AnimationValue { return l.bounds().origin(); }},
        {"bounds.origin.x", 5.0, [](const Layer& l) -> AnimationValue { return l.bounds().x; }},
        {"bounds.origin.y", 6.0, [](const Layer& l) -> AnimationValue { return l.bounds().y; }},
        {"bounds.size", Size{7, 8}, [](const Layer& l) -> AnimationValue { return l.bounds().size(); }},
        {"bounds.size.width", 9.0, [](const Layer& l) -> AnimationValue { return l.bounds().width; }},
        {"bounds.size.height", 10.0, [](const Layer& l) -> AnimationValue { return l.bounds().height; }},
        {"position", Point{11, 12}, [](const Layer& l) -> AnimationValue { return l.position(); }},
        {"position.x", 13.0, [](const Layer& l) -> AnimationValue { return l.position().x; }},
        {"position.y", 14.0, [](const Layer& l) -> AnimationValue { return l.position().y; }},
        {"anchorPoint", Point{0.25, 0.75}, [](const Layer& l) -> AnimationValue { return l.anchorPoint(); }},
        {"zPosition", 2.0, [](const Layer& l) -> AnimationValue { return l.zPosition(); }},
        {"transform", Transform3D::scale(2, 3), [](const Layer& l) -> AnimationValue { return l.transform(); }},
        {"transform.scale", 1.5,
         [](const Layer& l) -> AnimationValue {
             return (partsOf(l).scaleX + partsOf(l).scaleY + partsOf(l).scaleZ) / 3;
         }},
        {"transform.scale.x", 2.0, [](const Layer& l) -> AnimationValue { return partsOf(l).scaleX; }},
        {"transform.scale.y", 3.0, [](const Layer& l) -> AnimationValue { return partsOf(l).scaleY; }},
        {"transform.scale.z", 4.0, [](const Layer& l) -> AnimationValue { return partsOf(l).scaleZ; }},
        {"transform.rotation", 0.5, [](const Layer& l) -> AnimationValue { return partsOf(l).rotationZ; }},
        {"transform.rotation.z", 0.25, [](const Layer& l) -> AnimationValue { return partsOf(l).rotationZ; }},
        {"transform.translation", Size{15, 16},
         [](const Layer& l) -> AnimationValue {
             return Size{partsOf(l).translationX, partsOf(l).translationY};
         }},
        {"transform.translation.x", 17.0, [](const Layer& l) -> AnimationValue { return partsOf(l).translationX; }},
        {"transform.translation.y", 18.0, [](const Layer& l) -> AnimationValue { return partsOf(l).translationY; }},
        {"transform.translation.z", 19.0, [](const Layer& l) -> AnimationValue { return partsOf(l).translationZ; }},
        {"opacity", 0.5, [](const Layer& l) -> AnimationValue { return l.opacity(); }},
        {"backgroundColor", Color{1, 0, 0, 1}, [](const Layer& l) -> AnimationValue { return l.backgroundColor(); }},
        {"cornerRadius", 4.0, [](const Layer& l) -> AnimationValue { return l.cornerRadius(); }},
        {"borderWidth", 2.0, [](const Layer& l) -> AnimationValue { return l.borderWidth(); }},
        {"borderColor", Color{0, 1, 0, 1}, [](const Layer& l) -> AnimationValue { return l.borderColor(); }},
        {"shadowColor", Color{0, 0, 1, 1}, [](const Layer& l) -> AnimationValue { return l.shadowColor(); }},
        {"shadowOpacity", 0.5, [](const Layer& l) -> AnimationValue { return l.shadowOpacity(); }},
        {"shadowOffset", Size{1, 2}, [](const Layer& l) -> AnimationValue { return l.shadowOffset(); }},
        {"shadowRadius", 6.0, [](const Layer& l) -> AnimationValue { return l.shadowRadius(); }},
        {"shadowPath", triangle(), [](const Layer& l) -> AnimationValue { return l.shadowPath().value_or(Path{}); }},
    };
    return cases;
}

void expectSame(const AnimationValue& actual, const AnimationValue& expected, const std::string& what) {
    ASSERT_EQ(actual.index(), expected.index()) << what;
    if (const double* number = std::get_if<double>(&expected)) {
        // Parts of a transform come back through its matrix.
        EXPECT_NEAR(std::get<double>(actual), *number, 1e-12) << what;
    } else if (const Size* size = std::get_if<Size>(&expected)) {
        EXPECT_NEAR(std::get<Size>(actual).width, size->width, 1e-12) << what;
        EXPECT_NEAR(std::get<Size>(actual).height, size->height, 1e-12) << what;
    } else {
        EXPECT_TRUE(actual == expected) << what;
    }
}

// A value of another kind than `value`.
AnimationValue otherKind(const AnimationValue& value) {
    return std::holds_alternative<Point>(value) ? AnimationValue(Size{1, 1}) : AnimationValue(Point{1, 1});
}

void expectReadAndWritten(Layer& layer, const std::vector<Case>& cases, const std::string& className) {
    for (const Case& c : cases) {
        const std::string what = className + " " + c.keyPath;
        const auto before = layer.valueForKeyPath(c.keyPath);
        ASSERT_TRUE(before.has_value()) << what;
        EXPECT_EQ(before->index(), c.value.index()) << what;
        EXPECT_FALSE(layer.setValueForKeyPath(c.keyPath, otherKind(c.value))) << what;
        expectSame(*layer.valueForKeyPath(c.keyPath), *before, what + " after a value of another kind");
        EXPECT_TRUE(layer.setValueForKeyPath(c.keyPath, c.value)) << what;
        expectSame(*layer.valueForKeyPath(c.keyPath), c.value, what);
        expectSame(c.property(layer), c.value, what + " through its getter");
        // Back to the defaults, so the transform comes apart for the next.
        layer.setValueForKeyPath(c.keyPath, *before);
    }
}

}  // namespace

TEST(UiKeyPaths, EachLayerClassReadsAndWritesItsKeyPathsAndItsBasesAlone) {
    const std::vector<Case> shapeCases = {
        {"path", triangle(), [](const Layer& l) -> AnimationValue { return as<ShapeLayer>(l).path(); }},
        {"fillColor", Color{1, 0, 0, 1},
         [](const Layer& l) -> AnimationValue { return as<ShapeLayer>(l).fillColor(); }},
        {"strokeColor", Color{0, 1, 0, 1},
         [](const Layer& l) -> AnimationValue { return as<ShapeLayer>(l).strokeColor(); }},
        {"lineWidth", 3.0, [](const Layer& l) -> AnimationValue { return as<ShapeLayer>(l).lineWidth(); }},
        {"miterLimit", 4.0, [](const Layer& l) -> AnimationValue { return as<ShapeLayer>(l).miterLimit(); }},
        {"lineDashPhase", 2.0, [](const Layer& l) -> AnimationValue { return as<ShapeLayer>(l).lineDashPhase(); }},
        {"strokeStart", 0.25, [](const Layer& l) -> AnimationValue { return as<ShapeLayer>(l).strokeStart(); }},
        {"strokeEnd", 0.75, [](const Layer& l) -> AnimationValue { return as<ShapeLayer>(l).strokeEnd(); }},
    };
    const std::vector<Case> gradientCases = {
        {"startPoint", Point{0, 0}, [](const Layer& l) -> AnimationValue { return as<GradientLayer>(l).startPoint(); }},
        {"endPoint", Point{1, 1}, [](const Layer& l) -> AnimationValue { return as<GradientLayer>(l).endPoint(); }}};
    const std::vector<Case> textCases = {
        {"foregroundColor", Color{1, 0, 0, 1},
         [](const Layer& l) -> AnimationValue { return as<TextLayer>(l).foregroundColor(); }},
        {"fontSize", 12.0, [](const Layer& l) -> AnimationValue { return as<TextLayer>(l).fontSize(); }}};

    auto layer = Layer::make();
    auto shape = ShapeLayer::make();
    auto gradient = GradientLayer::make();
    auto text = TextLayer::make();
    expectReadAndWritten(*layer, layerCases(), "Layer");
    expectReadAndWritten(*shape, layerCases(), "ShapeLayer");
    expectReadAndWritten(*shape, shapeCases, "ShapeLayer");
    expectReadAndWritten(*gradient, layerCases(), "GradientLayer");
    expectReadAndWritten(*gradient, gradientCases, "GradientLayer");
    expectReadAndWritten(*text, layerCases(), "TextLayer");
    expectReadAndWritten(*text, textCases, "TextLayer");

    // A path set through its key path is measured as one set by its setter.
    shape->setValueForKeyPath("path", triangle());
    EXPECT_EQ(shape->pathBoundingBox(), (Rect{0, 0, 10, 10}));

    // Another class's key paths, and properties that are not animated, are
    // none of a layer's.
    for (const std::string key : {"path", "startPoint", "fontSize", "hidden", "masksToBounds", "contents",
                                  "contentsGravity", "transform.skew", "position.z", "not.a.real.key"}) {
        EXPECT_FALSE(layer->valueForKeyPath(key).has_value()) << key;
        EXPECT_FALSE(layer->setValueForKeyPath(key, 1.0)) << key;
    }
    EXPECT_FALSE(shape->valueForKeyPath("fontSize").has_value());
    EXPECT_FALSE(text->valueForKeyPath("path").has_value());

    // A turn in depth does not come apart: its parts read none and take
    // nothing, the whole transform still does.
    const Transform3D tilted = Transform3D::rotation(0.5, 1, 0, 0);
    layer->setTransform(tilted);
    for (const char* key : {"transform.scale", "transform.rotation.z", "transform.translation", "transform.scale.x"}) {
        EXPECT_FALSE(layer->valueForKeyPath(key).has_value()) << key;
        EXPECT_FALSE(layer->setValueForKeyPath(
            key, std::string_view(key) == "transform.translation" ? AnimationValue(Size{1, 1}) : AnimationValue(1.0)))
            << key;
    }
    EXPECT_TRUE(layer->transform() == tilted);
    EXPECT_TRUE(layer->setValueForKeyPath("transform", Transform3D{}));
    EXPECT_TRUE(layer->transform().isIdentity());
}
