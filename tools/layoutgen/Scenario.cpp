#include "tools/layoutgen/Scenario.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>

#include "engine/model/Layer.h"

namespace ULayoutGen {

namespace {

// A bad line: its number and what is wrong.
struct tScenarioError : std::runtime_error {
    tScenarioError(int line, const std::string& message)
        : std::runtime_error("line " + std::to_string(line) + ": " + message) {}
};

// ------------------------------------------------------------ tokens

struct tToken {
    std::string name;  // before '=', empty for a positional word
    std::string value;
    bool named = false;
};

// Splits one line into words, "quoted texts" (\" \\ \n \t inside) and
// name=value pairs whose value may be quoted; `#` outside quotes ends it.
std::vector<tToken> Tokenize(const std::string& line, int number) {
    std::vector<tToken> tokens;
    std::size_t i = 0;
    auto quoted = [&](std::string& out) {
        ++i;  // the opening quote
        while (i < line.size() && line[i] != '"') {
            if (line[i] == '\\' && i + 1 < line.size()) {
                const char next = line[++i];
                out += next == 'n' ? '\n' : next == 't' ? '\t' : next;
            } else {
                out += line[i];
            }
            ++i;
        }
        if (i >= line.size()) throw tScenarioError(number, "unterminated quote");
        ++i;  // the closing quote
    };
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t') {
            ++i;
            continue;
        }
        if (c == '#') break;
        tToken token;
        if (c == '"') {
            quoted(token.value);
        } else {
            std::string word;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '=' && line[i] != '"' &&
                   line[i] != '#')
                word += line[i++];
            if (i < line.size() && line[i] == '=') {
                if (word.empty()) throw tScenarioError(number, "'=' without a name before it");
                ++i;
                token.name = word;
                token.named = true;
                if (i < line.size() && line[i] == '"') {
                    quoted(token.value);
                } else {
                    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '#' && line[i] != '"')
                        token.value += line[i++];
                }
            } else if (i < line.size() && line[i] == '"') {
                throw tScenarioError(number, "a quote inside the word '" + word + "'");
            } else {
                token.value = word;
            }
        }
        if (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '#')
            throw tScenarioError(number,
                                 "no space after '" + (token.named ? token.name + "=" : "") + token.value + "'");
        tokens.push_back(std::move(token));
    }
    return tokens;
}

// ------------------------------------------------------------ one statement

class CStatement {
public:
    CStatement(int line, std::vector<tToken> tokens) : mLine(line) {
        if (tokens.front().named) Fail("a line begins with a statement word, not '" + tokens.front().name + "='");
        mKeyword = tokens.front().value;
        for (std::size_t i = 1; i < tokens.size(); ++i) {
            if (!tokens[i].named) {
                mPositional.push_back(tokens[i].value);
            } else if (!mNamed.emplace(tokens[i].name, tokens[i].value).second) {
                Fail(tokens[i].name + "= given twice");
            }
        }
    }

    int Line() const { return mLine; }
    const std::string& Keyword() const { return mKeyword; }
    const std::vector<std::string>& Positional() const { return mPositional; }

    [[noreturn]] void Fail(const std::string& message) const { throw tScenarioError(mLine, message); }

    std::optional<std::string> Take(const std::string& name) {
        const auto found = mNamed.find(name);
        if (found == mNamed.end()) return std::nullopt;
        mUsed.insert(name);
        return found->second;
    }
    std::string Need(const std::string& name) {
        std::optional<std::string> value = Take(name);
        if (!value) Fail(mKeyword + " needs " + name + "=");
        return *value;
    }
    // Named values whose name begins with `prefix`, taken.
    std::map<std::string, std::string> TakePrefixed(const std::string& prefix) {
        std::map<std::string, std::string> found;
        for (const auto& [name, value] : mNamed) {
            if (name.size() > prefix.size() && name.starts_with(prefix)) {
                found[name.substr(prefix.size())] = value;
                mUsed.insert(name);
            }
        }
        return found;
    }
    // Every named value must have been taken and at most `positional`
    // positional words given.
    void Done(std::size_t positional) const {
        for (const auto& [name, value] : mNamed) {
            if (mUsed.count(name) == 0) Fail("unknown setting " + name + "= for " + mKeyword);
        }
        if (mPositional.size() > positional) Fail("unexpected '" + mPositional[positional] + "' after " + mKeyword);
    }

    // ---- values
    double Number(const std::string& text, const std::string& what) const {
        errno = 0;
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(value))
            Fail("bad number '" + text + "' for " + what);
        return value;
    }
    double Number(const std::string& text, const std::string& what, double low, double high) const {
        const double value = Number(text, what);
        if (value < low || value > high)
            Fail(what + " " + text + " is out of range (" + Short(low) + " to " + Short(high) + ")");
        return value;
    }
    std::int32_t Integer(const std::string& text, const std::string& what,
                         long long low = std::numeric_limits<std::int32_t>::min(),
                         long long high = std::numeric_limits<std::int32_t>::max()) const {
        errno = 0;
        char* end = nullptr;
        const long long value = std::strtoll(text.c_str(), &end, 0);
        if (text.empty() || *end != '\0' || errno == ERANGE) Fail("bad whole number '" + text + "' for " + what);
        if (value < low || value > high)
            Fail(what + " " + text + " is out of range (" + std::to_string(low) + " to " + std::to_string(high) + ")");
        return static_cast<std::int32_t>(value);
    }
    bool Switch(const std::string& text, const std::string& what) const {
        if (text == "on" || text == "yes" || text == "true" || text == "1") return true;
        if (text == "off" || text == "no" || text == "false" || text == "0") return false;
        Fail("bad switch '" + text + "' for " + what + " (on or off)");
    }
    std::vector<double> Numbers(const std::string& text, const std::string& what, char separator, std::size_t least,
                                std::size_t most) const {
        std::vector<double> values;
        std::size_t start = 0;
        while (true) {
            const std::size_t end = text.find(separator, start);
            values.push_back(Number(text.substr(start, end - start), what));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        if (values.size() < least || values.size() > most) {
            Fail(what + " takes " +
                 (least == most ? std::to_string(least) : std::to_string(least) + " to " + std::to_string(most)) +
                 " numbers, not '" + text + "'");
        }
        return values;
    }
    CPoint Point(const std::string& text, const std::string& what) const {
        const std::vector<double> v = Numbers(text, what, ',', 2, 3);
        return CPoint(v[0], v[1], v.size() > 2 ? v[2] : 0.0);
    }
    std::vector<CPoint> Points(const std::string& text, const std::string& what, std::size_t least) const {
        std::vector<CPoint> points;
        std::size_t start = 0;
        while (true) {
            const std::size_t end = text.find(';', start);
            points.push_back(Point(text.substr(start, end - start), what));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        if (points.size() < least) Fail(what + " needs at least " + std::to_string(least) + " points");
        return points;
    }
    CColor Color(const std::string& text, const std::string& what) const {
        if (!text.empty() && text[0] == '#') {
            if (text.size() != 9 || text.find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos)
                Fail("bad colour '" + text + "' for " + what + " (#AARRGGBB)");
            return CColor::FromHexString(text);
        }
        const std::vector<double> v = Numbers(text, what, ',', 3, 4);
        for (const double channel : v) {
            if (channel < 0.0 || channel > 1.0) Fail("colour channels of " + what + " lie in 0 to 1");
        }
        return CColor(v[0], v[1], v[2], v.size() > 3 ? v[3] : 1.0);
    }
    template <std::size_t N>
    void Text(char (&field)[N], const std::string& text, const std::string& what) const {
        if (text.size() >= N) Fail(what + " is at most " + std::to_string(N - 1) + " bytes");
        std::memcpy(field, text.c_str(), text.size() + 1);
    }

private:
    static std::string Short(double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", value);
        return text;
    }

    int mLine;
    std::string mKeyword;
    std::vector<std::string> mPositional;
    std::map<std::string, std::string> mNamed;
    std::set<std::string> mUsed;
};

// ------------------------------------------------------------ layout parameters

using tParameterSetter = std::function<void(CStatement&, CLayoutParameters&)>;

struct tParameter {
    const char* name;
    int tag;
    tParameterSetter set;
};

// One value of the parameter statement (`param NAME VALUE...`).
std::string Value(CStatement& s, std::size_t index, const std::string& what) {
    if (s.Positional().size() <= index) s.Fail("param " + what + " needs a value");
    return s.Positional()[index];
}

tParameterSetter IntField(std::int32_t CLayoutParameters::*field,
                          long long low = std::numeric_limits<std::int32_t>::min(),
                          long long high = std::numeric_limits<std::int32_t>::max()) {
    return [=](CStatement& s, CLayoutParameters& p) {
        const std::string& name = s.Positional()[0];
        p.*field = s.Integer(Value(s, 1, name), name, low, high);
        s.Done(2);
    };
}

tParameterSetter BoolField(bool CLayoutParameters::*field) {
    return [=](CStatement& s, CLayoutParameters& p) {
        const std::string& name = s.Positional()[0];
        p.*field = s.Switch(Value(s, 1, name), name);
        s.Done(2);
    };
}

tParameterSetter ColorField(CColor CLayoutParameters::*field) {
    return [=](CStatement& s, CLayoutParameters& p) {
        const std::string& name = s.Positional()[0];
        p.*field = s.Color(Value(s, 1, name), name);
        s.Done(2);
    };
}

template <std::size_t N>
tParameterSetter TextField(char (CLayoutParameters::*field)[N]) {
    return [=](CStatement& s, CLayoutParameters& p) {
        const std::string& name = s.Positional()[0];
        s.Text(p.*field, Value(s, 1, name), name);
        s.Done(2);
    };
}

const std::vector<tParameter>& Parameters() {
    using P = CLayoutParameters;
    static const std::vector<tParameter> table = {
        {"author", 400, TextField(&P::mAuthor)},
        {"created", 402, TextField(&P::mCreationDate)},
        {"text403", 403, TextField(&P::mText403)},
        {"text404", 404, TextField(&P::mText404)},
        {"text405", 405, TextField(&P::mText405)},
        {"text406", 406, TextField(&P::mText406)},
        {"text407", 407, TextField(&P::mText407)},
        {"legacy409", 409, IntField(&P::mLegacyInt409)},
        {"display-flags", 410, IntField(&P::mDisplayFlags)},
        {"track-style", 411, IntField(&P::mTrackStyle)},
        {"int413", 413, IntField(&P::mInt413)},
        {"int414", 414, IntField(&P::mInt414)},
        {"int415", 415, IntField(&P::mInt415)},
        {"grid", 416, BoolField(&P::mShowGrid)},
        {"zoom", 417, IntField(&P::mZoomPercent, 1, 100000)},
        {"workspace", 418,
         [](CStatement& s, P& p) {
             p.mWorkspaceWidth = s.Integer(Value(s, 1, "workspace"), "workspace width");
             p.mWorkspaceHeight = s.Integer(Value(s, 2, "workspace"), "workspace height");
             s.Done(3);
         }},
        {"color1", 431, ColorField(&P::mFirstColor)},
        {"p421", 421,
         [](CStatement& s, P& p) {
             for (std::size_t i = 0; i < 4; ++i)
                 p.mParameter421[i] =
                     static_cast<std::uint16_t>(s.Integer(Value(s, i + 1, "p421"), "p421 word", 0, 0xFFFF));
             s.Done(5);
         }},
        {"terrain3d", 426, BoolField(&P::mRender3DTerrain)},
        {"tracks3d", 427, BoolField(&P::m3DOnlyTracks)},
        {"int428", 428, IntField(&P::mInt428)},
        {"int429", 429, IntField(&P::mInt429)},
        {"switch430", 430, BoolField(&P::mSwitch430)},
        {"int435", 435, IntField(&P::mInt435)},
        {"color2", 436, ColorField(&P::mSecondColor)},
        {"int440", 440, IntField(&P::mInt440)},
        {"int441", 441, IntField(&P::mInt441)},
        {"tunnel-mode", 442, IntField(&P::mTunnelDisplayMode)},
        {"color3", 443, ColorField(&P::mThirdColor)},
        {"int447", 447, IntField(&P::mInt447)},
        {"int448", 448, IntField(&P::mInt448)},
        {"int449", 449, IntField(&P::mInt449)},
        {"int450", 450, IntField(&P::mInt450)},
        {"int451", 451, IntField(&P::mInt451)},
        {"int452", 452, IntField(&P::mInt452)},
    };
    return table;
}

// ------------------------------------------------------------ elements

bool IsElementKeyword(const std::string& word) {
    static const std::set<std::string> words = {"straight", "curve", "turnout", "flex",  "text",     "rect",
                                                "polygon",  "line",  "oval",    "arrow", "dimension"};
    return words.count(word) != 0;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// The catalogue settings every element takes, with the kind's defaults.
tPart ReadPart(CStatement& s, const tPart& defaults) {
    tPart part = defaults;
    if (auto v = s.Take("product")) part.productNumber = *v;
    if (auto v = s.Take("maker")) part.manufacturer = *v;
    if (auto v = s.Take("library")) part.libraryName = *v;
    if (auto v = s.Take("desc")) part.description = *v;
    if (auto v = s.Take("label")) part.label = *v;
    if (auto v = s.Take("price")) part.price = s.Integer(*v, "price");
    if (auto v = s.Take("currency")) part.currencyId = s.Integer(*v, "currency");
    if (auto v = s.Take("scale")) part.modelScale = s.Integer(*v, "scale");
    if (auto v = s.Take("type")) part.elementType = s.Integer(*v, "type");
    if (auto v = s.Take("gauge")) part.measures.gauge = s.Number(*v, "gauge", 0.0, 1000.0);
    if (auto v = s.Take("bed")) part.measures.trackbedWidth = s.Number(*v, "bed", 0.0, 1000.0);
    if (auto v = s.Take("rail")) part.measures.railWidth = s.Number(*v, "rail", 0.0, 100.0);
    if (auto v = s.Take("color")) part.firstColor = s.Color(*v, "color");
    if (auto v = s.Take("color2")) part.secondColor = s.Color(*v, "color2");
    if (auto v = s.Take("tunnel")) {
        const std::vector<double> trims = s.Numbers(*v, "tunnel", ',', 2, 2);
        part.startTrim = s.Integer(Number(trims[0]), "tunnel start", -1000, 1000);
        part.endTrim = s.Integer(Number(trims[1]), "tunnel end", -1000, 1000);
    }
    if (auto v = s.Take("layer")) part.layerName = *v;
    for (const auto& [language, text] : s.TakePrefixed("desc.")) part.descriptions[language] = text;
    // Fields of the record are cut by the element; say so instead.
    auto fits = [&](const std::string& text, std::size_t size, const char* what) {
        if (text.size() >= size) s.Fail(std::string(what) + " is at most " + std::to_string(size - 1) + " bytes");
    };
    fits(part.productNumber, CCompositeGeometry::kProductNumberSize, "product");
    fits(part.manufacturer, CCompositeGeometry::kManufacturerSize, "maker");
    fits(part.libraryName, CCompositeGeometry::kLibraryNameSize, "library");
    fits(part.description, CCompositeGeometry::kDescriptionSize, "desc");
    fits(part.label, CCompositeGeometry::kLabelTextSize, "label");
    return part;
}

// Builds elements from statements for both kinds of scenario.
class CElementReader {
public:
    explicit CElementReader(CLayoutComposer& composer) : mComposer(composer) {}

    void Read(CStatement& s) {
        const std::string& k = s.Keyword();
        if (k == "straight" || k == "curve" || k == "turnout" || k == "flex") {
            ReadTrack(s);
        } else {
            ReadShape(s);
        }
    }

private:
    std::optional<tPose> Start(CStatement& s) {
        std::optional<std::string> at = s.Take("at");
        std::optional<std::string> angle = s.Take("angle");
        std::optional<std::string> from = s.Take("from");
        if (from) {
            if (at || angle) s.Fail("from= cannot go with at= or angle=");
            const std::size_t colon = from->find(':');
            const std::string index = from->substr(0, colon);
            const bool branch = colon != std::string::npos;
            if (branch && from->substr(colon + 1) != "branch") s.Fail("from= takes N or N:branch, not '" + *from + "'");
            const auto element = static_cast<std::size_t>(
                s.Integer(index, "from", 0, static_cast<long long>(mComposer.ElementCount()) - 1));
            std::optional<tPose> exit = mComposer.Exit(element, branch);
            if (!exit)
                s.Fail("element " + index + (branch ? " has no branch to go on from" : " is no track to go on from"));
            return exit;
        }
        if (!at && !angle) return std::nullopt;
        tPose pose = mComposer.Chain();
        if (at) {
            const CPoint p = s.Point(*at, "at");
            pose.x = p.x;
            pose.y = p.y;
            pose.z = p.z;
        }
        pose.heading = angle ? s.Number(*angle, "angle", -3600.0, 3600.0) : (at ? 0.0 : pose.heading);
        return pose;
    }

    double Length(CStatement& s, const char* name, double low) { return s.Number(s.Need(name), name, low, 1e6); }

    // `WORD[:VALUE]`, the word one of `ends`.
    static std::pair<std::string, std::optional<std::string>> EndAndValue(CStatement& s, const std::string& text,
                                                                          const char* what,
                                                                          const std::set<std::string>& ends) {
        const std::size_t colon = text.find(':');
        const std::string end = text.substr(0, colon);
        if (ends.count(end) == 0)
            s.Fail(std::string(what) + "= begins with start or end" + (ends.count("both") ? " or both" : "") +
                   ", not '" + text + "'");
        if (colon == std::string::npos) return {end, std::nullopt};
        return {end, text.substr(colon + 1)};
    }

    // What a track adds at its ends: bumpers and tunnel portals.
    struct tEnds {
        std::optional<tTrackEnd> bumperEnd;
        int bumperType = 0;
        std::vector<tTrackEnd> portalEnds;
        int portalStyle = 2;
    };

    tEnds ReadEnds(CStatement& s) {
        tEnds ends;
        if (auto v = s.Take("bumper")) {
            const auto [end, type] = EndAndValue(s, *v, "bumper", {"start", "end"});
            ends.bumperEnd = end == "start" ? tTrackEnd::Start : tTrackEnd::End;
            if (type) {
                static const std::map<std::string, int> kinds = {
                    {"bracket", 0}, {"hayes", 1}, {"earthen", 2}, {"friction", 3}};
                const auto kind = kinds.find(*type);
                if (kind == kinds.end())
                    s.Fail("bumper kind is bracket, hayes, earthen or friction, not '" + *type + "'");
                ends.bumperType = kind->second;
            }
        }
        if (auto v = s.Take("portal")) {
            const auto [end, style] = EndAndValue(s, *v, "portal", {"start", "end", "both"});
            if (end != "end") ends.portalEnds.push_back(tTrackEnd::Start);
            if (end != "start") ends.portalEnds.push_back(tTrackEnd::End);
            if (style) ends.portalStyle = s.Integer(*style, "portal style", 1, 4);
        }
        return ends;
    }

    void AddEnds(CStatement& s, std::size_t index, const tEnds& ends) {
        if (ends.bumperEnd && !mComposer.AddBumper(index, *ends.bumperEnd, ends.bumperType))
            s.Fail("the bumper could not be made");
        for (const tTrackEnd end : ends.portalEnds) {
            if (!mComposer.AddPortal(index, end, ends.portalStyle)) s.Fail("the tunnel portal could not be made");
        }
    }

    // `to=N`, `to=N:end` or `to=N:branch`: the start of track N, its far end
    // or its branch's end, as the pose one arrives there in.
    tPose Target(CStatement& s, const std::string& text) {
        const std::size_t colon = text.find(':');
        const std::string index = text.substr(0, colon);
        const std::string which = colon == std::string::npos ? "start" : text.substr(colon + 1);
        if (which != "start" && which != "end" && which != "branch")
            s.Fail("to= takes N, N:end or N:branch, not '" + text + "'");
        const auto element =
            static_cast<std::size_t>(s.Integer(index, "to", 0, static_cast<long long>(mComposer.ElementCount()) - 1));
        const tTrackEnd end = which == "start" ? tTrackEnd::Start : which == "end" ? tTrackEnd::End : tTrackEnd::Branch;
        std::optional<tPose> pose = mComposer.EndOf(element, end);
        if (!pose)
            s.Fail("element " + index + " has no " + (end == tTrackEnd::Branch ? "branch" : "track") + " end to go to");
        // Arriving at a far end means travelling against the way out of it.
        if (end != tTrackEnd::Start) pose->heading = std::fmod(pose->heading + 180.0, 360.0);
        return *pose;
    }

    void ReadTrack(CStatement& s) {
        const std::string& k = s.Keyword();
        tPart defaults;
        defaults.manufacturer = "layoutgen";
        defaults.libraryName = "layoutgen H0";
        const std::optional<tPose> start = Start(s);
        if (auto v = s.Take("rise")) defaults.rise = s.Number(*v, "rise", -1000.0, 1000.0);
        const tEnds ends = ReadEnds(s);
        if (k == "turnout" && (ends.bumperEnd || !ends.portalEnds.empty()))
            s.Fail("bumpers and portals go on a straight, curve or flex");
        if (k == "straight") {
            const double length = Length(s, "length", 0.1);
            defaults.productNumber = "S" + Number(length);
            defaults.description = "Straight " + Number(length) + " mm";
            const tPart part = ReadPart(s, defaults);
            s.Done(0);
            AddEnds(s, mComposer.AddStraight(part, length, start), ends);
        } else if (k == "curve") {
            const double radius = Length(s, "radius", 1.0);
            const double sweep = s.Number(s.Need("sweep"), "sweep", -360.0, 360.0);
            if (sweep == 0.0) s.Fail("sweep must not be 0");
            defaults.productNumber = "R" + Number(radius) + "-" + Number(std::fabs(sweep));
            defaults.description = "Curve R" + Number(radius) + " " + Number(std::fabs(sweep)) + " deg";
            const tPart part = ReadPart(s, defaults);
            s.Done(0);
            AddEnds(s, mComposer.AddCurve(part, radius, sweep, start), ends);
        } else if (k == "turnout") {
            const double length = Length(s, "length", 0.1);
            const double radius = Length(s, "radius", 1.0);
            const double sweep = s.Number(s.Need("sweep"), "sweep", 0.1, 90.0);
            bool left = true;
            if (auto hand = s.Take("hand")) {
                if (*hand != "left" && *hand != "right") s.Fail("hand= is left or right, not '" + *hand + "'");
                left = *hand == "left";
            }
            defaults.productNumber = std::string(left ? "WL" : "WR") + Number(radius);
            defaults.description = std::string(left ? "Left" : "Right") + " turnout R" + Number(radius);
            const tPart part = ReadPart(s, defaults);
            s.Done(0);
            mComposer.AddTurnout(part, length, radius, sweep, left, start);
        } else {
            const std::optional<std::string> to = s.Take("to");
            std::optional<tPose> target;
            double length = 0.0;
            double bend = 0.0;
            if (to) {
                if (s.Take("length") || s.Take("bend")) s.Fail("a flex track takes to= or length=, not both");
                target = Target(s, *to);
                const tPose from = start.value_or(mComposer.Chain());
                length = std::hypot(target->x - from.x, target->y - from.y);
                if (length < 1.0) s.Fail("flex to= needs an end at least 1 away");
            } else {
                length = Length(s, "length", 1.0);
                if (auto v = s.Take("bend")) bend = s.Number(*v, "bend", -1e5, 1e5);
            }
            double maxLength = std::max(1000.0, 2.0 * std::hypot(length, bend));
            if (auto v = s.Take("max")) maxLength = s.Number(*v, "max", 1.0, 1e6);
            defaults.productNumber = "FLEX";
            defaults.libraryName.clear();
            defaults.manufacturer.clear();
            defaults.description = "Flex track";
            const tPart part = ReadPart(s, defaults);
            s.Done(0);
            AddEnds(s,
                    target ? mComposer.AddFlexTo(part, *target, maxLength, start)
                           : mComposer.AddFlex(part, length, bend, maxLength, start),
                    ends);
        }
    }

    void ReadShape(CStatement& s) {
        const std::string& k = s.Keyword();
        const std::optional<std::string> atText = s.Take("at");
        const std::optional<std::string> angleText = s.Take("angle");
        const std::optional<std::string> widthText = s.Take("width");
        const CPoint at = atText ? s.Point(*atText, "at") : CPoint(0, 0, 0);
        const double angle = angleText ? s.Number(*angleText, "angle", -3600.0, 3600.0) : 0.0;
        const std::int32_t lineWidth = widthText ? s.Integer(*widthText, "width", 0, 1000) : 1;
        const tPart part = ReadPart(s, tPart{});
        if (k == "text") {
            const std::optional<std::string> named = s.Take("text");
            if (!named && s.Positional().empty()) s.Fail("text needs its words in quotes");
            const std::string text = named ? *named : s.Positional()[0];
            const std::optional<std::string> sizeText = s.Take("size");
            const std::int32_t size = sizeText ? s.Integer(*sizeText, "size", 1, 1000) : 12;
            const std::string font = s.Take("font").value_or("Helvetica");
            s.Done(named ? 0 : 1);
            mComposer.AddText(part, text, font, size, at, angle);
        } else if (k == "rect") {
            const std::vector<double> size = s.Numbers(s.Need("size"), "size", ',', 2, 2);
            if (size[0] <= 0.0 || size[1] <= 0.0) s.Fail("size of a rect is above 0");
            s.Done(0);
            mComposer.AddRectangle(part, size[0], size[1], lineWidth, at, angle);
        } else if (k == "polygon") {
            const std::vector<CPoint> points = s.Points(s.Need("points"), "points", 3);
            s.Done(0);
            mComposer.AddPolygon(part, points, lineWidth, at, angle);
        } else if (k == "line") {
            const CPoint to = s.Point(s.Need("to"), "to");
            s.Done(0);
            mComposer.AddLine(part, at, to, lineWidth);
        } else if (k == "arrow" || k == "dimension") {
            if (!atText) s.Fail(k + " needs at=");
            const CPoint to = s.Point(s.Need("to"), "to");
            if (std::hypot(to.x - at.x, to.y - at.y) < 1.0) s.Fail(k + " needs at= and to= at least 1 apart");
            auto integer = [&](const char* name, int fallback, int low, int high) {
                const std::optional<std::string> v = s.Take(name);
                return v ? s.Integer(*v, name, low, high) : fallback;
            };
            if (k == "arrow") {
                const int head = integer("head", 103, 100, 109);
                const int headSize = integer("head-size", 2, 1, 100);
                const int tail = integer("tail", 204, 200, 210);
                const int tailSize = integer("tail-size", 1, 1, 100);
                s.Done(0);
                mComposer.AddArrow(part, at, to, head, headSize, tail, tailSize);
            } else {
                const int offset = integer("offset", 10, -1000, 1000);
                const int size = integer("size", 18, 1, 1000);
                s.Done(0);
                mComposer.AddDimension(part, at, to, offset, size, widthText ? lineWidth : 1);
            }
        } else {
            const std::vector<double> radius = s.Numbers(s.Need("radius"), "radius", ',', 1, 2);
            for (const double r : radius) {
                if (r <= 0.0) s.Fail("radius of an oval is above 0");
            }
            s.Done(0);
            mComposer.AddOval(part, radius[0], radius.size() > 1 ? radius[1] : radius[0], lineWidth, at);
        }
    }

    CLayoutComposer& mComposer;
};

struct tPrice {
    int line;
    std::string product;
    std::int32_t price;
    std::optional<std::int32_t> currency;
};

tPrice ReadPrice(CStatement& s) {
    if (s.Positional().size() < 2) s.Fail("price needs a product number and a price in hundredths");
    tPrice price{s.Line(), s.Positional()[0], s.Integer(s.Positional()[1], "price"), std::nullopt};
    if (s.Positional().size() > 2) price.currency = s.Integer(s.Positional()[2], "currency");
    s.Done(3);
    return price;
}

void ApplyPrices(CLayoutComposer& composer, const std::vector<tPrice>& prices) {
    for (const tPrice& p : prices) {
        if (composer.SetPrice(p.product, p.price, p.currency) == 0)
            throw tScenarioError(p.line, "no element has the product number '" + p.product + "'");
    }
}

// Calls `statement` for each line that holds one.
void ForEachStatement(const std::string& text, const std::function<void(CStatement&)>& statement) {
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<tToken> tokens = Tokenize(line, number);
        if (tokens.empty()) continue;
        CStatement s(number, std::move(tokens));
        statement(s);
    }
}

// A baseboard's corners; an item `ccw@X,Y` or `cw@X,Y` between two makes
// the side between them an arc about X,Y (after the last: the closing side).
std::vector<CPoint> BorderPoints(CStatement& s, const std::string& text, std::map<std::size_t, tBorderArc>& arcs) {
    std::vector<CPoint> corners;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(';', start);
        const std::string item = text.substr(start, end - start);
        const std::size_t at = item.find('@');
        if (at == std::string::npos) {
            corners.push_back(s.Point(item, "points"));
        } else {
            const std::string turn = item.substr(0, at);
            if (turn != "ccw" && turn != "cw") s.Fail("an arc of points= is ccw@X,Y or cw@X,Y, not '" + item + "'");
            if (corners.empty() || arcs.count(corners.size() - 1) != 0)
                s.Fail("an arc of points= comes after a corner, not '" + item + "'");
            arcs[corners.size() - 1] = tBorderArc{s.Point(item.substr(at + 1), "arc centre"), turn == "cw"};
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (corners.size() < 3) s.Fail("points needs at least 3 points");
    return corners;
}

std::int32_t LayerType(CStatement& s, const std::string& text) {
    if (text == "track") return CLayer::kTrackLayer;
    if (text == "baseboard") return CLayer::kBaseboardLayer;
    if (text == "image") return CLayer::kImageLayer;
    return s.Integer(text, "layer type");
}

}  // namespace

bool ParseLayoutScenario(const std::string& text, tLayoutDocument& document, tScenarioSummary& summary,
                         std::string& errorText) {
    CLayoutComposer composer(document);
    CElementReader elements(composer);
    std::vector<tPrice> prices;
    std::optional<int> recordVersion;
    bool versionSet = false;
    try {
        ForEachStatement(text, [&](CStatement& s) {
            const std::string& k = s.Keyword();
            if (IsElementKeyword(k)) {
                elements.Read(s);
            } else if (k == "version") {
                if (versionSet) s.Fail("version given twice");
                if (s.Positional().empty()) s.Fail("version needs a number");
                document.version =
                    s.Integer(s.Positional()[0], "version", CLayout::kOldestFileVersion, CLayout::kNewestFileVersion);
                versionSet = true;
                s.Done(1);
            } else if (k == "records") {
                if (s.Positional().empty()) s.Fail("records needs a number");
                recordVersion = s.Integer(s.Positional()[0], "record version", CCompositeGeometry::kOldestRecordVersion,
                                          CCompositeGeometry::kNewestRecordVersion);
                s.Done(1);
            } else if (k == "param") {
                if (s.Positional().empty()) s.Fail("param needs a name and a value");
                const std::string& name = s.Positional()[0];
                for (const tParameter& parameter : Parameters()) {
                    if (name == parameter.name || name == std::to_string(parameter.tag)) {
                        parameter.set(s, document.parameters);
                        return;
                    }
                }
                s.Fail("unknown parameter '" + name + "'");
            } else if (k == "layer") {
                if (s.Positional().empty()) s.Fail("layer needs a name");
                const std::string name = s.Positional()[0];
                if (name.empty() || name.size() >= CLayer::kNameFieldSize)
                    s.Fail("a layer name has 1 to " + std::to_string(CLayer::kNameFieldSize - 1) + " bytes");
                const std::optional<std::string> typeText = s.Take("type");
                const std::optional<std::string> colorText = s.Take("color");
                const std::int32_t type = typeText ? LayerType(s, *typeText) : CLayer::kTrackLayer;
                const std::optional<CColor> color =
                    colorText ? std::optional<CColor>(s.Color(*colorText, "color")) : std::nullopt;
                bool hidden = false;
                bool locked = false;
                for (std::size_t i = 1; i < s.Positional().size(); ++i) {
                    const std::string& flag = s.Positional()[i];
                    if (flag == "hidden") {
                        hidden = true;
                    } else if (flag == "locked") {
                        locked = true;
                    } else {
                        s.Fail("unknown layer flag '" + flag + "' (hidden, locked)");
                    }
                }
                s.Done(s.Positional().size());
                if (!composer.AddLayer(name, type, !hidden, locked, color))
                    s.Fail("layer '" + name + "' exists already");
            } else if (k == "on") {
                if (s.Positional().empty()) s.Fail("on needs a layer name");
                s.Done(1);
                if (!composer.UseLayer(s.Positional()[0])) s.Fail("no layer '" + s.Positional()[0] + "'");
            } else if (k == "group") {
                std::vector<std::size_t> members;
                for (const std::string& word : s.Positional()) {
                    const std::int32_t index =
                        s.Integer(word, "group member", 0, std::numeric_limits<std::int32_t>::max());
                    if (static_cast<std::size_t>(index) >= composer.ElementCount())
                        s.Fail("group member " + word + " is not an element (there are " +
                               std::to_string(composer.ElementCount()) + " so far)");
                    members.push_back(static_cast<std::size_t>(index));
                }
                int parent = -1;
                if (auto v = s.Take("parent")) {
                    parent = s.Integer(*v, "parent", 0, std::numeric_limits<std::int32_t>::max());
                    if (static_cast<std::size_t>(parent) >= composer.GroupCount())
                        s.Fail("parent " + *v + " is not an earlier group");
                }
                if (members.empty()) s.Fail("group needs at least one element index");
                s.Done(s.Positional().size());
                composer.AddGroup(members, parent);
            } else if (k == "image") {
                if (s.Positional().empty()) s.Fail("image needs a name");
                const CPoint at = s.Point(s.Need("at"), "at");
                const std::vector<double> size = s.Numbers(s.Need("size"), "size", ',', 2, 2);
                std::vector<double> pixels = {8, 8};
                if (auto v = s.Take("pixels")) pixels = s.Numbers(*v, "pixels", ',', 2, 2);
                for (const double p : pixels) {
                    if (p < 1 || p > 256 || p != std::floor(p)) s.Fail("pixels are whole numbers from 1 to 256");
                }
                const std::string layer = s.Take("layer").value_or("");
                s.Done(1);
                if (composer.AddImage(s.Positional()[0], at, size[0], size[1], static_cast<int>(pixels[0]),
                                      static_cast<int>(pixels[1]), layer) == nullptr)
                    s.Fail(layer.empty() ? "image needs a layer of type image, or layer=" : "no layer '" + layer + "'");
            } else if (k == "baseboard") {
                if (s.Positional().empty()) s.Fail("baseboard needs a name");
                std::vector<CPoint> corners;
                std::map<std::size_t, tBorderArc> arcs;
                std::optional<std::string> rect = s.Take("rect");
                std::optional<std::string> points = s.Take("points");
                if (rect.has_value() == points.has_value()) s.Fail("baseboard needs rect= or points=");
                if (rect) {
                    const std::vector<double> r = s.Numbers(*rect, "rect", ',', 4, 4);
                    if (r[2] <= 0 || r[3] <= 0) s.Fail("rect width and height are above 0");
                    corners = {CPoint(r[0], r[1]), CPoint(r[0] + r[2], r[1]), CPoint(r[0] + r[2], r[1] + r[3]),
                               CPoint(r[0], r[1] + r[3])};
                } else {
                    corners = BorderPoints(s, *points, arcs);
                }
                const std::optional<std::string> colorText = s.Take("color");
                const std::optional<CColor> fill =
                    colorText ? std::optional<CColor>(s.Color(*colorText, "color")) : std::nullopt;
                const std::string layer = s.Take("layer").value_or("");
                s.Done(1);
                if (composer.AddBaseboard(s.Positional()[0], corners, fill, layer, arcs) == nullptr)
                    s.Fail(layer.empty() ? "baseboard needs a layer of type baseboard, or layer="
                                         : "no layer '" + layer + "'");
            } else if (k == "price") {
                prices.push_back(ReadPrice(s));
            } else {
                s.Fail("unknown statement '" + k + "'");
            }
        });
        ApplyPrices(composer, prices);
    } catch (const tScenarioError& error) {
        errorText = error.what();
        return false;
    }
    document.recordVersion = recordVersion.value_or(document.version);
    composer.Finish();
    summary.kinds.clear();
    for (std::size_t i = 0; i < composer.ElementCount(); ++i) summary.kinds.push_back(composer.KindOf(i));
    summary.groups = composer.GroupCount();
    return true;
}

bool ParseLibraryScenario(const std::string& text, tLibraryDocument& document, std::string& errorText) {
    // Library elements are composed like layout elements, then moved over.
    tLayoutDocument elements;
    CLayoutComposer composer(elements);
    CElementReader reader(composer);
    std::vector<tPrice> prices;
    ULayoutFileWriter::tTrackLibraryFile& header = document.header;
    try {
        ForEachStatement(text, [&](CStatement& s) {
            const std::string& k = s.Keyword();
            if (IsElementKeyword(k)) {
                reader.Read(s);
            } else if (k == "version") {
                if (s.Positional().empty()) s.Fail("version needs a number");
                header.version = s.Integer(s.Positional()[0], "library version", 2, 255);
                s.Done(1);
            } else if (k == "records") {
                if (s.Positional().empty()) s.Fail("records needs a number");
                header.elementRecordVersion =
                    s.Integer(s.Positional()[0], "record version", CCompositeGeometry::kOldestRecordVersion,
                              CCompositeGeometry::kNewestRecordVersion);
                s.Done(1);
            } else if (k == "library") {
                auto tenths = [&](const char* name, std::int32_t& field) {
                    if (auto v = s.Take(name))
                        field = static_cast<std::int32_t>(std::lround(s.Number(*v, name, -1e8, 1e8) * 10.0));
                };
                if (auto v = s.Take("scale")) header.modelScale = s.Integer(*v, "scale");
                if (auto v = s.Take("int102")) header.integer102 = s.Integer(*v, "int102");
                if (auto v = s.Take("currency")) header.integer103 = s.Integer(*v, "currency");
                tenths("real104", header.real104Tenths);
                tenths("bed", header.trackbedWidthTenths);
                tenths("rail", header.railWidthTenths);
                if (auto v = s.Take("switch116")) header.switch116 = s.Switch(*v, "switch116");
                for (int tag = 107; tag <= 115; ++tag) {
                    if (auto v = s.Take("text" + std::to_string(tag))) header.texts[tag - 107] = *v;
                }
                s.Done(0);
            } else if (k == "translation") {
                if (s.Positional().size() != 3) s.Fail("translation needs a key, a language and a text");
                const std::vector<std::string>& p = s.Positional();
                if (p[0].empty() || p[1].empty() || p[2].empty())
                    s.Fail("translation key, language and text are not empty");
                UTranslationsMap::AddTranslation(header.translations, p[0], p[1], p[2]);
                s.Done(3);
            } else if (k == "price") {
                prices.push_back(ReadPrice(s));
            } else {
                s.Fail("unknown statement '" + k + "' in a library scenario");
            }
        });
        ApplyPrices(composer, prices);
    } catch (const tScenarioError& error) {
        errorText = error.what();
        return false;
    }
    for (auto& element : elements.elements) document.elements.push_back(std::move(element));
    return true;
}

bool ReadTextFile(const std::string& path, std::string& text, std::string& errorText) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        errorText = "cannot read " + path + ": " + std::strerror(EISDIR);
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        errorText = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        errorText = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    text = buffer.str();
    return true;
}

bool IsEmptyScenario(const std::string& text) {
    bool empty = true;
    try {
        ForEachStatement(text, [&](CStatement&) { empty = false; });
    } catch (const std::exception&) {
        return false;  // a line the parser will report
    }
    return empty;
}

}  // namespace ULayoutGen
