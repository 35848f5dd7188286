#pragma once
// Private to platform/ui: a layer class's key paths, in one table per class
// (its findKeyPath), that reading, writing and animations all go by.

#include "platform/ui/core/AnimationValue.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>

namespace platform::ui {
class Layer;
}  // namespace platform::ui

namespace platform::ui::detail {

struct KeyPath {
    std::string_view name;
    // The model value of a layer of the table's class; none when it has
    // none now (a transform's part of a transform that does not come apart).
    std::optional<AnimationValue> (*read)(const Layer& layer) = nullptr;
    // Sets the value with no action and no change notice; false for a value
    // of the wrong kind or one the layer cannot take now.
    bool (*write)(Layer& layer, const AnimationValue& value) = nullptr;
    // An animation of it only places the layer (or fades it, or changes its
    // shadow): what the layer looks like in itself stays.
    bool onlyPlaces = false;
    // An animation of it changes what drawInContext draws, so the kept
    // raster cannot stand for it while it runs.
    bool affectsContent = false;
};

template <typename>
struct FieldOf;
template <typename C, typename T>
struct FieldOf<T C::*> {
    using Class = C;
    using Type = T;
};

// A key path that reads and writes one field of the layer class as it is
// (`Field` is named where the field may be reached: in the class's
// findKeyPath).
template <auto Field>
constexpr KeyPath fieldKeyPath(std::string_view name, bool onlyPlaces, bool affectsContent) {
    using Class = typename FieldOf<decltype(Field)>::Class;
    using Type = typename FieldOf<decltype(Field)>::Type;
    return {name,
            [](const Layer& layer) -> std::optional<AnimationValue> { return static_cast<const Class&>(layer).*Field; },
            [](Layer& layer, const AnimationValue& value) {
                const Type* typed = std::get_if<Type>(&value);
                if (!typed) return false;
                static_cast<Class&>(layer).*Field = *typed;
                return true;
            },
            onlyPlaces, affectsContent};
}

// A key path that reads and writes one part of a field (a coordinate of a
// point or of a rectangle).
template <auto Field, auto Part>
constexpr KeyPath partKeyPath(std::string_view name, bool onlyPlaces, bool affectsContent) {
    using Class = typename FieldOf<decltype(Field)>::Class;
    using Type = typename FieldOf<decltype(Part)>::Type;
    return {name,
            [](const Layer& layer) -> std::optional<AnimationValue> {
                return (static_cast<const Class&>(layer).*Field).*Part;
            },
            [](Layer& layer, const AnimationValue& value) {
                const Type* typed = std::get_if<Type>(&value);
                if (!typed) return false;
                (static_cast<Class&>(layer).*Field).*Part = *typed;
                return true;
            },
            onlyPlaces, affectsContent};
}

// A class's key paths, found by name. Looked up for every property change,
// presentation copy and frame of an animation: entries are kept by the
// length of their names, so a look-up compares only names of its length.
template <std::size_t N>
class KeyPathTable {
public:
    static constexpr std::size_t kLongestName = 31;

    consteval explicit KeyPathTable(const KeyPath (&entries)[N]) {
        // By length; entries of one length keep their order.
        for (std::size_t i = 0; i < N; ++i) {
            if (entries[i].name.empty() || entries[i].name.size() > kLongestName) throw "key path name length";
            for (std::size_t j = 0; j < i; ++j) {
                if (entries[j].name == entries[i].name) throw "key path named twice";
            }
            std::size_t at = i;
            while (at > 0 && mEntries[at - 1].name.size() > entries[i].name.size()) {
                mEntries[at] = mEntries[at - 1];
                --at;
            }
            mEntries[at] = entries[i];
        }
        std::size_t next = 0;
        for (std::size_t length = 0; length <= kLongestName + 1; ++length) {
            while (next < N && mEntries[next].name.size() < length) ++next;
            mFirst[length] = static_cast<std::uint8_t>(next);
        }
    }

    const KeyPath* find(std::string_view name) const {
        const std::size_t length = name.size();
        if (length == 0 || length > kLongestName) return nullptr;
        // Names of one length mostly differ at an end ("position.x",
        // "position.y"; "borderColor", "shadowColor"): those are compared
        // before the whole.
        for (std::size_t i = mFirst[length]; i < mFirst[length + 1]; ++i) {
            const std::string_view candidate = mEntries[i].name;
            if (candidate.back() == name.back() && candidate.front() == name.front() && candidate == name) {
                return &mEntries[i];
            }
        }
        return nullptr;
    }

private:
    static_assert(N < 256);
    std::array<KeyPath, N> mEntries{};
    // mFirst[n]: the first entry whose name is n characters or longer.
    std::array<std::uint8_t, kLongestName + 2> mFirst{};
};

}  // namespace platform::ui::detail
