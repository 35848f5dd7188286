// The geometry of a line chart's lines: key points, markers, point labels
// and segments, segments cut by colour bands, touches and the legend.

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/Image.h"
#include "platform/ui/views/ImageView.h"
#include "platform/ui/views/Label.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/input/Touch.h"
#include "widgets/Charts/GRChartColors.h"
#include "widgets/Charts/GRLineChart.h"
#include "widgets/Support/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <numbers>

using platform::Color;
using platform::Path;
using platform::Point;
using platform::Rect;
using platform::Size;

namespace {

Point roundedToFloat(Point p) { return {static_cast<float>(p.x), static_cast<float>(p.y)}; }

// The distance from t to the segment p1 to p2 (to its nearer end beyond them).
float distanceToSegment(Point t, Point p1, Point p2) {
    const double dx = p2.x - p1.x;
    const double dy = p2.y - p1.y;
    const double lengthSquared = dx * dx + dy * dy;
    double along = lengthSquared == 0 ? 0 : ((t.x - p1.x) * dx + (t.y - p1.y) * dy) / lengthSquared;
    along = std::clamp(along, 0.0, 1.0);
    return static_cast<float>(std::hypot(t.x - (p1.x + along * dx), t.y - (p1.y + along * dy)));
}

}  // namespace

void GRLineChart::calculateChartPath() {
    for (const auto& labels : mGradeStringPaths) {
        for (const auto& label : labels) label->removeFromSuperlayer();
    }
    mGradeStringPaths.clear();
    mChartPath.clear();
    mProgressLinePathsColors.clear();
    mPointPath.clear();
    mPathPoints.clear();
    mEndPointsOfPath.clear();
    for (const auto& linePointer : mChartData) {
        auto& line = *linePointer;
        const double w = line.inflexionPointWidth;
        const double h = w / 2;
        const auto style = line.inflexionPointStyle;
        const bool marked = style == GRLineChartPointStyleCircle || style == GRLineChartPointStyleSquare ||
                            style == GRLineChartPointStyleTriangle;
        Path markers;
        std::vector<std::shared_ptr<platform::ui::TextLayer>> labels;
        std::vector<Point> keyPoints;
        std::vector<Point> ends;
        struct Segment {
            Point from, to;
        };
        std::vector<Segment> segments;
        // A mark is at most six elements (a circle: a move, a line to its
        // start, four curves).
        if (marked) markers.reserve(line.itemCount * 6);
        keyPoints.reserve(line.itemCount);
        segments.reserve(line.itemCount);
        ends.reserve(2 * line.itemCount);
        Point previous;
        for (std::size_t j = 0; j < line.itemCount && line.getData; ++j) {
            const auto item = line.getData(j);
            const double x = mChartMarginLeft + j * mXLabelWidth + mXLabelWidth / 2;
            const double y = yValuePositionInLineChart(item.y);
            const double dx = x - previous.x;
            const double dy = y - previous.y;
            const double root = std::sqrt(dx * dx + dy * dy);
            const double distance = static_cast<float>(style == GRLineChartPointStyleTriangle ? 1.4 * root : root);
            Point from = previous;
            Point to{x, y};
            if (style == GRLineChartPointStyleCircle) {
                markers.moveTo({x + h, y});
                markers.addArc({x, y}, h, 0, 2 * std::numbers::pi, true);
                const double r = h / distance;
                from = {previous.x + r * dx, previous.y + r * dy};
                to = {x - r * dx, y - r * dy};
            } else if (style == GRLineChartPointStyleSquare) {
                markers.moveTo({x - h, y - h});
                markers.lineTo({x + h, y - h});
                markers.lineTo({x + h, y + h});
                markers.lineTo({x - h, y + h});
                markers.closePath();
                const double r = h / distance;
                from = {previous.x + h, previous.y + r * dy};
                to = {x - h, y - r * dy};
            } else if (style == GRLineChartPointStyleTriangle) {
                markers.moveTo({x - h, y + h});
                markers.lineTo({x + h, y + h});
                markers.lineTo({x, y - h});
                markers.closePath();
                const double r = h / distance;
                from = {previous.x + r * dx, previous.y + r * dy};
                to = {x - r * dx, y - r * dy};
            }
            if (marked) {
                from = roundedToFloat(from);
                to = roundedToFloat(to);
            }
            if (j > 0) {
                segments.push_back({from, to});
                ends.push_back(from);
                ends.push_back(to);
            }
            keyPoints.push_back({x, y});
            if (marked && line.showPointLabel) {
                const Point center = style == GRLineChartPointStyleTriangle ? Point{x + h, y + h} : Point{x, y};
                labels.push_back(createPointLabelFor(item.rawY, center, w, line));
            }
            previous = {x, y};
        }
        mEndPointsOfPath.push_back(std::move(ends));
        std::stable_sort(line.rangeColors.begin(), line.rangeColors.end(),
                         [](const auto& a, const auto& b) { return a.range.location < b.range.location; });
        const Color defaultColor = line.color.value_or(GRChartColors::kGreenColor);
        const bool smooth = mShowSmoothLines && keyPoints.size() >= 4;
        std::vector<Path> paths;
        std::vector<Color> colors;
        for (const auto& segment : segments) {
            for (const auto& piece : colorRangesBetweenP1(segment.from, segment.to, line.rangeColors, defaultColor)) {
                Path path;
                path.moveTo(piece.from);
                if (smooth) {
                    const Point mid = midPointBetweenPoint1(piece.from, piece.to);
                    path.addQuadCurveTo(controlPointBetweenPoint1(mid, piece.from), mid);
                    path.addQuadCurveTo(controlPointBetweenPoint1(mid, piece.to), piece.to);
                } else {
                    path.lineTo(piece.to);
                }
                paths.push_back(std::move(path));
                colors.push_back(piece.color);
            }
        }
        mPathPoints.push_back(std::move(keyPoints));
        mChartPath.push_back(std::move(paths));
        mProgressLinePathsColors.push_back(std::move(colors));
        mPointPath.push_back(std::move(markers));
        mGradeStringPaths.push_back(std::move(labels));
    }
}

std::vector<GRLineChart::ColoredPiece> GRLineChart::colorRangesBetweenP1(
    Point p1, Point p2, const std::vector<GRLineChartColorRange>& rangeColors, const Color& defaultColor) const {
    if (rangeColors.empty() || !(p2.x > p1.x)) return {{defaultColor, p1, p2}};
    const double smin = std::min(p1.y, p2.y);
    const double smax = std::max(p1.y, p2.y);
    const GRLineChartColorRange* band = nullptr;
    double rmin = 0;
    double rmax = 0;
    for (const auto& range : rangeColors) {
        const double top = yValuePositionInLineChart(static_cast<double>(range.range.location));
        const double bottom = yValuePositionInLineChart(static_cast<double>(range.range.location + range.range.length));
        rmin = std::min(top, bottom);
        rmax = std::max(top, bottom);
        if ((rmin <= smin && smin <= rmax) || (smin <= rmin && rmin <= smax)) {
            band = &range;
            break;
        }
    }
    if (!band) return {{defaultColor, p1, p2}};
    const double b = rmax - rmin;
    Point from = p1;
    Point to = p2;
    if (p2.y != p1.y) {
        if (p2.y > p1.y) {
            from.y = std::max(p1.y, rmin);
            to.y = std::min(p2.y, rmin + b);
        } else {
            from.y = std::min(p1.y, rmin + b);
            to.y = std::max(p2.y, rmin);
        }
        from.x = xOfY(from.y, p1, p2);
        to.x = xOfY(to.y, p1, p2);
    }
    std::vector<ColoredPiece> pieces;
    Point start = from;
    if (from.y != p1.y) {
        const Point join{from.x, p1.y > from.y ? from.y + 0.001 : from.y - 0.001};
        pieces = colorRangesBetweenP1(p1, join, rangeColors, defaultColor);
        start = join;
    }
    pieces.push_back({band->color, start, to});
    if (to.y != p2.y) {
        const Point join{to.x, p2.y > to.y ? to.y + 0.001 : to.y - 0.001};
        const auto after = colorRangesBetweenP1(join, p2, rangeColors, defaultColor);
        pieces.insert(pieces.end(), after.begin(), after.end());
    }
    return pieces;
}

Point GRLineChart::midPointBetweenPoint1(Point p1, Point p2) { return {(p1.x + p2.x) / 2, (p1.y + p2.y) / 2}; }

Point GRLineChart::controlPointBetweenPoint1(Point p1, Point p2) {
    Point control = midPointBetweenPoint1(p1, p2);
    const double d = static_cast<int>(std::fabs(p2.y - control.y));
    if (p1.y < p2.y) {
        control.y += d;
    } else if (p1.y > p2.y) {
        control.y -= d;
    }
    return control;
}

double GRLineChart::xOfY(double y, Point p1, Point p2) {
    if (p2.x == p1.x) return p1.x;
    const double m = (p2.y - p1.y) / (p2.x - p1.x);
    if (m == 0) return NAN;
    return (y - (p2.y - m * p2.x)) / m;
}

std::shared_ptr<platform::ui::TextLayer> GRLineChart::createPointLabelFor(double value, Point center, double width,
                                                                          const GRLineChartData& line) {
    auto label = platform::ui::TextLayer::make();
    label->setAlignmentMode(platform::TextAlignment::center);
    label->setForegroundColor(line.pointLabelColor);
    label->setBackgroundColor(backgroundColor().value_or(GRChartColors::kClear));
    if (line.pointLabelFont) {
        label->setFontName(line.pointLabelFont->fontName());
        label->setFontSize(line.pointLabelFont->pointSize());
    }
    layer()->addSublayer(label);
    std::optional<std::string> text;
    if (line.pointLabelFormat) text = NumberFormat::format(*line.pointLabelFormat, value);
    if (!text) text = NumberFormat::format(mYLabelFormat, value);
    label->setString(text.value_or(""));
    const double fontSize = label->fontSize();
    label->setFrame({0, 0, 8 * width, fontSize * 1.1});
    label->setPosition({center.x, center.y - fontSize});
    return label;
}

void GRLineChart::touchesBegan(const platform::ui::TouchSet& touches, const platform::ui::Event& event) {
    (void)event;
    touchPoint(touches);
    touchKeyPoint(touches);
}

void GRLineChart::touchesMoved(const platform::ui::TouchSet& touches, const platform::ui::Event& event) {
    (void)event;
    touchPoint(touches);
    touchKeyPoint(touches);
}

void GRLineChart::touchPoint(const platform::ui::TouchSet& touches) {
    if (touches.empty() || mPathPoints.empty()) return;
    const Point t = touches.front()->locationInView(this);
    for (std::size_t i = 0; i < mEndPointsOfPath.size(); ++i) {
        const auto& ends = mEndPointsOfPath[i];
        for (std::size_t k = 0; k + 1 < ends.size(); k += 2) {
            // Near the drawn segment itself, not its line running on beyond
            // it; the line is the one whose segment it is.
            if (distanceToSegment(t, ends[k], ends[k + 1]) <= 5) {
                if (auto d = delegate()) d->chartTappedOnLinePoint(t, static_cast<std::int64_t>(i));
                return;
            }
        }
    }
}

void GRLineChart::touchKeyPoint(const platform::ui::TouchSet& touches) {
    if (touches.empty()) return;
    const Point t = touches.front()->locationInView(this);
    for (std::size_t i = 0; i < mPathPoints.size(); ++i) {
        const auto& points = mPathPoints[i];
        for (std::size_t j = 0; j + 1 < points.size(); ++j) {
            const float d1 = std::hypot(static_cast<float>(t.x - points[j].x), static_cast<float>(t.y - points[j].y));
            const float d2 =
                std::hypot(static_cast<float>(t.x - points[j + 1].x), static_cast<float>(t.y - points[j + 1].y));
            if (std::min(d1, d2) <= 10) {
                if (auto d = delegate()) {
                    d->chartTappedOnLineKeyPoint(t, static_cast<std::int64_t>(i),
                                                 static_cast<std::int64_t>(d2 <= d1 ? j + 1 : j));
                }
                return;
            }
        }
    }
}

std::shared_ptr<platform::ui::View> GRLineChart::getLegendWithMaxWidth(double maxWidth) {
    if (mChartData.empty()) return nullptr;
    const auto font = legendFontOrDefault();
    const Color textColor = legendFontColorOrDefault();
    const bool serial = legendStyle() != 0;
    const double h0 = sizeOfString("Test", FLT_MAX, font).height;
    const float measureWidth = serial ? FLT_MAX : static_cast<float>(maxWidth - 40);
    double x = 0;
    double y = 0;
    double legendHeight = 0;
    long rowWidth = 0;
    long rowHeight = 0;
    std::vector<std::shared_ptr<platform::ui::View>> parts;
    for (const auto& line : mChartData) {
        const Size size = sizeOfString(line->dataTitle, measureWidth, font);
        if (size.width + rowWidth + 40 > maxWidth && serial) {
            y += rowHeight;
            x = 0;
            rowWidth = 0;
            rowHeight = 0;
        }
        const double k = line->inflexionPointStyle == GRLineChartPointStyleTriangle ? line->inflexionPointWidth / 2
                                                                                    : line->inflexionPointWidth;
        const double sample = line->inflexionPointStyle == GRLineChartPointStyleNone ? 32 : (32 - k) / 2;
        const Color color = line->color.value_or(GRChartColors::kGreenColor);
        auto addSample = [&](double sampleX) {
            auto view = std::make_shared<platform::ui::View>(
                Rect{sampleX, y + (h0 - line->lineWidth) / 2, sample, line->lineWidth});
            view->setBackgroundColor(color);
            view->setAlpha(line->alpha);
            parts.push_back(view);
        };
        addSample(x + 4);
        if (line->inflexionPointStyle != GRLineChartPointStyleNone) addSample(x + 4 + sample + k);
        parts.push_back(drawInflexion(line->inflexionPointWidth, {x + 20, y + h0 / 2}, line->lineWidth,
                                      line->inflexionPointStyle, line->inflexionPointColor.value_or(color),
                                      line->alpha));
        auto label = std::make_shared<platform::ui::Label>(Rect{x + 40, y, size.width, size.height});
        label->setText(line->dataTitle);
        label->setTextColor(textColor);
        label->setFont(font);
        label->setLineBreakMode(platform::LineBreakMode::wordWrapping);
        label->setNumberOfLines(0);
        parts.push_back(label);
        rowHeight = static_cast<long>(std::max(static_cast<float>(rowHeight), static_cast<float>(size.height)));
        if (serial) {
            x += size.width + 40;
            legendHeight = std::max(static_cast<float>(legendHeight), static_cast<float>(y + rowHeight));
        } else {
            y += size.height;
            legendHeight += size.height;
        }
        rowWidth = static_cast<long>(rowWidth + size.width + 40);
    }
    auto legend = std::make_shared<platform::ui::View>(Rect{0, 0, maxWidth, legendHeight});
    for (const auto& part : parts) legend->addSubview(part);
    return legend;
}

std::shared_ptr<platform::ui::ImageView> GRLineChart::drawInflexion(double size, Point center, double strokeWidth,
                                                                    std::uint64_t style, const Color& color,
                                                                    double alpha) {
    const double side = size + strokeWidth;
    auto bitmap =
        platform::BitmapContext::createForPointSize({side, side}, platform::ui::Screen::mainScreen()->scale());
    if (bitmap) {
        bitmap->setLineWidth(strokeWidth);
        bitmap->setAlpha(alpha);
        bitmap->setStrokeColor(color);
        const double s = strokeWidth / 2;
        bitmap->beginPath();
        if (style == GRLineChartPointStyleCircle) {
            bitmap->addArc({side / 2, side / 2}, size / 2, 0, 2 * std::numbers::pi, true);
        } else if (style == GRLineChartPointStyleSquare) {
            bitmap->addRect({s, s, size, size});
        } else if (style == GRLineChartPointStyleTriangle) {
            bitmap->moveTo({s, s + size});
            bitmap->lineTo({s + size, s + size});
            bitmap->lineTo({s + size / 2, s});
            bitmap->closePath();
        }
        if (!bitmap->isPathEmpty()) bitmap->stroke();
    }
    auto view = std::make_shared<platform::ui::ImageView>(bitmap ? bitmap->makeImage() : nullptr);
    view->setFrame({center.x - side / 2, center.y - side / 2, side, side});
    return view;
}
