#include "platform/graphics/detail/PangoText.h"

#include "platform/foundation/AsciiText.h"
#include "platform/foundation/RecentCache.h"
#include "platform/graphics/TextMeasure.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform::detail {

namespace {

// How a font name is drawn: the family Pango is asked for and the face's
// style. A family name alone keeps the family's regular face.
struct FontChoice {
    std::string family;
    std::optional<PangoWeight> weight;
    std::optional<PangoStyle> style;
    std::optional<PangoStretch> stretch;
};

std::string withoutSpaces(std::string s) {
    s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
    return s;
}

std::vector<std::string> stringsOf(FcPattern* pattern, const char* object) {
    std::vector<std::string> out;
    FcChar8* value = nullptr;
    for (int i = 0; FcPatternGetString(pattern, object, i, &value) == FcResultMatch; ++i) {
        out.emplace_back(reinterpret_cast<const char*>(value));
    }
    return out;
}

PangoStretch stretchFromWidth(int width) {
    if (width <= 56) return PANGO_STRETCH_ULTRA_CONDENSED;
    if (width <= 69) return PANGO_STRETCH_EXTRA_CONDENSED;
    if (width <= 81) return PANGO_STRETCH_CONDENSED;
    if (width <= 93) return PANGO_STRETCH_SEMI_CONDENSED;
    if (width <= 106) return PANGO_STRETCH_NORMAL;
    if (width <= 119) return PANGO_STRETCH_SEMI_EXPANDED;
    if (width <= 137) return PANGO_STRETCH_EXPANDED;
    if (width <= 175) return PANGO_STRETCH_EXTRA_EXPANDED;
    return PANGO_STRETCH_ULTRA_EXPANDED;
}

FontChoice faceOf(FcPattern* pattern, const std::string& family) {
    FontChoice choice{family, std::nullopt, std::nullopt, std::nullopt};
    int weight = 0;
    if (FcPatternGetInteger(pattern, FC_WEIGHT, 0, &weight) == FcResultMatch) {
        choice.weight = static_cast<PangoWeight>(FcWeightToOpenType(weight));
    }
    int slant = 0;
    if (FcPatternGetInteger(pattern, FC_SLANT, 0, &slant) == FcResultMatch) {
        choice.style = slant == FC_SLANT_ITALIC    ? PANGO_STYLE_ITALIC
                       : slant == FC_SLANT_OBLIQUE ? PANGO_STYLE_OBLIQUE
                                                   : PANGO_STYLE_NORMAL;
    }
    int width = 0;
    if (FcPatternGetInteger(pattern, FC_WIDTH, 0, &width) == FcResultMatch) choice.stretch = stretchFromWidth(width);
    return choice;
}

// Every name fontconfig knows, lower-cased: families, full names, PostScript
// names and "Family-Style" names (with and without the family's spaces).
// Built once; fonts installed while the process runs are not seen. Never
// destroyed, as the tables below: a tile may still be drawn while the
// process exits.
const std::map<std::string, FontChoice>& fontIndex() {
    static const auto& index = *new std::map<std::string, FontChoice>([] {
        std::map<std::string, FontChoice> names;
        FcPattern* all = FcPatternCreate();
        FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_STYLE, FC_FULLNAME, FC_POSTSCRIPT_NAME, FC_WEIGHT,
                                                FC_SLANT, FC_WIDTH, nullptr);
        FcFontSet* fonts = FcFontList(nullptr, all, objects);
        std::map<std::string, FontChoice> families;
        for (int f = 0; fonts != nullptr && f < fonts->nfont; ++f) {
            FcPattern* font = fonts->fonts[f];
            const auto familyNames = stringsOf(font, FC_FAMILY);
            if (familyNames.empty()) continue;
            const FontChoice face = faceOf(font, familyNames.front());
            for (const auto& family : familyNames) {
                families.emplace(ascii::lowercased(family),
                                 FontChoice{family, std::nullopt, std::nullopt, std::nullopt});
                for (const auto& style : stringsOf(font, FC_STYLE)) {
                    names.emplace(ascii::lowercased(family + "-" + style), face);
                    names.emplace(ascii::lowercased(withoutSpaces(family) + "-" + withoutSpaces(style)), face);
                }
            }
            for (const auto& name : stringsOf(font, FC_FULLNAME)) names.emplace(ascii::lowercased(name), face);
            for (const auto& name : stringsOf(font, FC_POSTSCRIPT_NAME)) names.emplace(ascii::lowercased(name), face);
        }
        if (fonts != nullptr) FcFontSetDestroy(fonts);
        FcObjectSetDestroy(objects);
        FcPatternDestroy(all);
        // A family name asks for the family's own choice of face.
        for (auto& [key, choice] : families) names.insert_or_assign(key, std::move(choice));
        return names;
    }());
    return index;
}

// The platform's fonts that screens and documents name, and the faces that
// stand in for them: sans faces for the humanist and geometric sans, the
// monospaced face for the typewriter one. A name fontconfig knows itself
// wins over this table.
std::optional<std::string> standInFor(const std::string& lowercasedName) {
    static const auto& standIns = *new std::map<std::string, std::string>{
        {"futura-medium", "DejaVu Sans"},       {"avenir-medium", "DejaVu Sans"},
        {"avenirnext-medium", "DejaVu Sans"},   {"applesdgothicneo-bold", "DejaVu Sans Bold"},
        {"couriernewpsmt", "DejaVu Sans Mono"},
    };
    const auto found = standIns.find(lowercasedName);
    if (found == standIns.end()) return std::nullopt;
    return found->second;
}

std::optional<FontChoice> lookupLocked(const std::string& fontName) {
    if (fontName.empty()) return std::nullopt;
    const auto& index = fontIndex();
    const std::string key = ascii::lowercased(fontName);
    auto it = index.find(key);
    if (it == index.end()) {
        const auto standIn = standInFor(key);
        if (standIn) it = index.find(ascii::lowercased(*standIn));
    }
    if (it == index.end()) return std::nullopt;
    return it->second;
}

PangoContext* sharedContextLocked() {
    static PangoContext* context = [] {
        // A font map of our own: the default one is per thread.
        PangoFontMap* fontMap = pango_cairo_font_map_new();
        PangoContext* c = pango_font_map_create_context(fontMap);
        // Unhinted metrics and unrounded positions: widths scale with the
        // size, and glyphs sit where they were measured at any zoom.
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        pango_cairo_context_set_font_options(c, options);
        cairo_font_options_destroy(options);
        pango_context_set_round_glyph_positions(c, FALSE);
        return c;
    }();
    return context;
}

}  // namespace

std::mutex& pangoMutex() {
    static std::mutex m;
    return m;
}

bool fontExistsLocked(const std::string& fontName) { return lookupLocked(fontName).has_value(); }

PangoFontDescription* fontDescriptionLocked(const std::string& fontName, double laidOutSize) {
    const FontChoice choice =
        lookupLocked(fontName).value_or(FontChoice{systemFontFamily(), std::nullopt, std::nullopt, std::nullopt});

    PangoFontDescription* description = pango_font_description_new();
    pango_font_description_set_family(description, choice.family.c_str());
    if (choice.weight) pango_font_description_set_weight(description, *choice.weight);
    if (choice.style) pango_font_description_set_style(description, *choice.style);
    if (choice.stretch) pango_font_description_set_stretch(description, *choice.stretch);
    // Absolute size: one point is one unit whatever the resolution.
    const double size = std::clamp(laidOutSize, 0.0, kLargestLaidOutSize);
    pango_font_description_set_absolute_size(description, size * PANGO_SCALE);
    return description;
}

PangoContext* pangoContextLocked() { return sharedContextLocked(); }

PangoLayout* makeLayoutLocked(const std::string& utf8, const std::string& fontName, double laidOutSize) {
    PangoFontDescription* description = fontDescriptionLocked(fontName, laidOutSize);
    PangoLayout* layout = pango_layout_new(sharedContextLocked());
    pango_layout_set_font_description(layout, description);
    pango_font_description_free(description);
    // Pango wants valid UTF-8; broken bytes become replacement characters.
    gchar* valid = g_utf8_make_valid(utf8.data(), static_cast<gssize>(utf8.size()));
    pango_layout_set_text(layout, valid, -1);
    g_free(valid);
    return layout;
}

namespace {

// A bounded number, the least used going first. Never destroyed: drawing
// may still happen while statics go away.
RecentCache<PangoLayout*>& keptLayoutsLocked() {
    constexpr std::size_t kMostKeptLayouts = 16384;
    static auto* kept = new RecentCache<PangoLayout*>(kMostKeptLayouts);
    return *kept;
}

std::string keptLayoutKey(const std::string& utf8, const std::string& fontName, double laidOutSize) {
    std::string key = utf8;
    key.push_back('\0');
    key += fontName;
    key.push_back('\0');
    key.append(reinterpret_cast<const char*>(&laidOutSize), sizeof laidOutSize);
    return key;
}

}  // namespace

PangoLayout* keptLayoutLocked(const std::string& utf8, const std::string& fontName, double laidOutSize) {
    RecentCache<PangoLayout*>& kept = keptLayoutsLocked();
    std::string key = keptLayoutKey(utf8, fontName, laidOutSize);
    if (PangoLayout* const* found = kept.find(key)) return PANGO_LAYOUT(g_object_ref(*found));
    PangoLayout* layout = makeLayoutLocked(utf8, fontName, laidOutSize);
    kept.insert(std::move(key), PANGO_LAYOUT(g_object_ref(layout)), [](PangoLayout*&& gone) { g_object_unref(gone); });
    return layout;
}

PangoLayout* foundKeptLayoutLocked(const std::string& utf8, const std::string& fontName, double laidOutSize) {
    PangoLayout* const* found = keptLayoutsLocked().find(keptLayoutKey(utf8, fontName, laidOutSize));
    return found != nullptr ? PANGO_LAYOUT(g_object_ref(*found)) : nullptr;
}

}  // namespace platform::detail
