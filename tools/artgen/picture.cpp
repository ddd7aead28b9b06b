#include <algorithm>
#include <cmath>
#include <vector>

#include "art.h"

namespace artgen {

namespace {

// ---- A small monoline letter set for the product name ---------------------
// Letters are drawn in a box one unit tall (y down) from straight strokes and
// elliptic arcs; the stroke width is given per text.

enum class ArcPart { Full, RightHalf, OpenRight };

struct Stroke {
    bool arc;
    double x0, y0, x1, y1;  // segment ends, or arc centre (x0,y0) and radii (x1,y1)
    ArcPart part;
};

struct Glyph {
    char ch;
    double width;
    std::vector<Stroke> strokes;
};

Stroke Seg(double x0, double y0, double x1, double y1) { return Stroke{false, x0, y0, x1, y1, ArcPart::Full}; }
Stroke Arc(double cx, double cy, double rx, double ry, ArcPart part) { return Stroke{true, cx, cy, rx, ry, part}; }

const std::vector<Glyph>& Glyphs() {
    static const std::vector<Glyph> kGlyphs = {
        {'Q', 1.0, {Arc(0.5, 0.5, 0.5, 0.5, ArcPart::Full), Seg(0.64, 0.70, 0.98, 1.04)}},
        {'D', 0.9, {Seg(0, 0, 0, 1), Seg(0, 0, 0.4, 0), Seg(0, 1, 0.4, 1), Arc(0.4, 0.5, 0.5, 0.5, ArcPart::RightHalf)}},
        {'X', 0.9, {Seg(0, 0, 0.9, 1), Seg(0.9, 0, 0, 1)}},
        {'R', 0.72, {Seg(0, 0, 0, 1), Seg(0, 0, 0.44, 0), Seg(0, 0.54, 0.44, 0.54),
                     Arc(0.44, 0.27, 0.27, 0.27, ArcPart::RightHalf), Seg(0.36, 0.54, 0.72, 1)}},
        {'E', 0.62, {Seg(0, 0, 0, 1), Seg(0, 0, 0.62, 0), Seg(0, 0.5, 0.54, 0.5), Seg(0, 1, 0.62, 1)}},
        {'M', 0.92, {Seg(0, 1, 0, 0), Seg(0, 0, 0.46, 0.66), Seg(0.46, 0.66, 0.92, 0), Seg(0.92, 0, 0.92, 1)}},
        {'O', 1.0, {Arc(0.5, 0.5, 0.5, 0.5, ArcPart::Full)}},
        {'T', 0.74, {Seg(0, 0, 0.74, 0), Seg(0.37, 0, 0.37, 1)}},
        {'C', 0.9, {Arc(0.5, 0.5, 0.5, 0.5, ArcPart::OpenRight)}},
        {'N', 0.8, {Seg(0, 1, 0, 0), Seg(0, 0, 0.8, 1), Seg(0.8, 1, 0.8, 0)}},
        {'L', 0.6, {Seg(0, 0, 0, 1), Seg(0, 1, 0.6, 1)}},
        {' ', 0.45, {}},
    };
    return kGlyphs;
}

const Glyph* FindGlyph(char ch) {
    for (const Glyph& g : Glyphs())
        if (g.ch == ch) return &g;
    return nullptr;
}

// A laid-out stroke in pixel coordinates.
struct PlacedStroke {
    Stroke s;
};

struct Text {
    std::vector<Stroke> strokes;  // in pixels
    double halfStroke;
    double left, top, right, bottom;  // bounds including the stroke
};

Text LayOut(const char* text, double x, double y, double height, double stroke, double spacing) {
    Text t{{}, stroke / 2, x, y, x, y + height};
    double pen = x;
    for (const char* p = text; *p; ++p) {
        const Glyph* g = FindGlyph(*p);
        if (!g) continue;
        for (const Stroke& s : g->strokes) {
            Stroke q = s;
            q.x0 = pen + s.x0 * height;
            q.y0 = y + s.y0 * height;
            q.x1 = s.arc ? s.x1 * height : pen + s.x1 * height;
            q.y1 = s.arc ? s.y1 * height : y + s.y1 * height;
            t.strokes.push_back(q);
        }
        pen += (g->width + spacing) * height;
    }
    t.right = pen - spacing * height;
    t.left -= stroke;
    t.top -= stroke;
    t.right += stroke;
    t.bottom += stroke + 0.1 * height;  // the tail of the Q
    return t;
}

double TextDistance(const Text& t, double x, double y) {
    double best = 1e9;
    for (const Stroke& s : t.strokes) {
        double d;
        if (!s.arc) {
            d = DistSegment(x, y, s.x0, s.y0, s.x1, s.y1);
        } else {
            d = std::fabs(DistEllipseApprox(x, y, s.x0, s.y0, s.x1, s.y1));
            if (s.part == ArcPart::RightHalf && x < s.x0) {
                // Past the half: distance to the nearer end of the arc.
                d = std::min(DistSegment(x, y, s.x0, s.y0 - s.y1, s.x0, s.y0 - s.y1),
                             DistSegment(x, y, s.x0, s.y0 + s.y1, s.x0, s.y0 + s.y1));
            } else if (s.part == ArcPart::OpenRight) {
                const double dx = x - s.x0, dy = std::fabs(y - s.y0);
                if (dx > 0 && dx > dy * 1.1) d = 1e9;  // the opening of the C
            }
        }
        best = std::min(best, d);
    }
    return best - t.halfStroke;
}

void DrawText(Canvas& canvas, const Text& t, const Rgba& top, const Rgba& bottom) {
    canvas.Draw(
        [&](double x, double y) {
            double d = TextDistance(t, x, y);
            if (d > 0) return Rgba{};
            Rgba c = Mix(top, bottom, Clamp01((y - t.top) / (t.bottom - t.top)));
            return c;
        },
        6, static_cast<int>(t.left) - 1, static_cast<int>(t.top) - 1, static_cast<int>(t.right) + 2,
        static_cast<int>(t.bottom) + 2);
}

void DrawTextShadow(Canvas& canvas, const Text& t, double dx, double dy, double blur, double alpha) {
    canvas.Draw(
        [&](double x, double y) {
            double d = TextDistance(t, x - dx, y - dy);
            double a = alpha * (1.0 - SmoothStep(-blur, blur, d));
            return Rgba{0.0, 0.03, 0.10, a};
        },
        3, static_cast<int>(t.left + dx - blur) - 1, static_cast<int>(t.top + dy - blur) - 1,
        static_cast<int>(t.right + dx + blur) + 2, static_cast<int>(t.bottom + dy + blur) + 2);
}

// ---- The handset ------------------------------------------------------------

// Rotation of the handset: 30 degrees, written out so no library trigonometry runs.
constexpr double kCos = 0.86602540378443865;
constexpr double kSin = 0.5;

struct HandsetFrame {
    double cx, cy;
    void ToLocal(double x, double y, double& s, double& t) const {
        const double dx = x - cx, dy = y - cy;
        s = dx * kCos - dy * kSin;  // along the handset, towards the upper right
        t = dx * kSin + dy * kCos;  // across it, positive on the side the cups face
    }
};

// Signed distance of the handset silhouette in its own frame.
double HandsetDistance(double s, double t) {
    // The grip: a band along a wide arc.
    const double ringR = 92.0;
    const double dRing = std::fabs(DistCircle(s, t, 0.0, ringR - 6.0, ringR)) - 8.5;
    const double dGrip = std::max(dRing, std::fabs(s) - 46.0);
    // Ear and mouth cups.
    const double dEar = DistRoundBox(s, t, -47.0, 7.0, 19.0, 15.0, 11.0);
    const double dMouth = DistRoundBox(s, t, 47.0, 7.0, 19.0, 15.0, 11.0);
    return std::min(dGrip, std::min(dEar, dMouth));
}

void DrawHandset(Canvas& canvas, double cx, double cy) {
    const HandsetFrame f{cx, cy};
    // Soft shadow under the handset.
    canvas.Draw(
        [&](double x, double y) {
            double s, t;
            f.ToLocal(x - 3.0, y - 5.0, s, t);
            double d = HandsetDistance(s, t);
            return Rgba{0.0, 0.02, 0.08, 0.45 * (1.0 - SmoothStep(-4.0, 6.0, d))};
        },
        2, static_cast<int>(cx) - 90, static_cast<int>(cy) - 70, static_cast<int>(cx) + 95, static_cast<int>(cy) + 80);
    // The body: light grey plastic lit from above, with a darker edge.
    canvas.Draw(
        [&](double x, double y) {
            double s, t;
            f.ToLocal(x, y, s, t);
            double d = HandsetDistance(s, t);
            if (d > 0) return Rgba{};
            const Rgba top = Rgb255(250, 252, 255), mid = Rgb255(206, 216, 228), low = Rgb255(132, 146, 166);
            double k = Clamp01((t + 14.0) / 36.0);
            Rgba c = k < 0.5 ? Mix(top, mid, k * 2) : Mix(mid, low, (k - 0.5) * 2);
            // Rounded look: darken towards the outline.
            c = Mix(c, Rgb255(70, 86, 110), 0.55 * SmoothStep(-3.0, 0.0, d));
            // A glossy streak along the top of the grip.
            const double streak = std::fabs(DistCircle(s, t, 0.0, 86.0, 92.5));
            if (streak < 2.2 && std::fabs(s) < 34.0) c = Mix(c, Opaque(1, 1, 1), 0.7 * (1.0 - streak / 2.2));
            return c;
        },
        6, static_cast<int>(cx) - 85, static_cast<int>(cy) - 65, static_cast<int>(cx) + 85, static_cast<int>(cy) + 65);
}

// ---- Sound waves and level bars ----------------------------------------------

void DrawWaves(Canvas& canvas, double cx, double cy) {
    const double radii[3] = {16.0, 29.0, 42.0};
    const double alpha[3] = {0.95, 0.70, 0.45};
    for (int i = 0; i < 3; ++i) {
        canvas.Draw(
            [&, i](double x, double y) {
                const double dx = x - cx, dy = y - cy;
                // A wedge of about 100 degrees opening up and to the right.
                const double ax = dx * kCos - dy * kSin, ay = dx * kSin + dy * kCos;
                if (ax <= 0 || std::fabs(ay) > ax * 1.15) return Rgba{};
                const double d = std::fabs(std::sqrt(dx * dx + dy * dy) - radii[i]) - 2.2;
                if (d > 0) return Rgba{};
                return Rgba{0.55, 0.88, 1.0, alpha[i]};
            },
            6, static_cast<int>(cx) - 5, static_cast<int>(cy - radii[i]) - 4, static_cast<int>(cx + radii[i]) + 4,
            static_cast<int>(cy + radii[i]) + 4);
    }
}

// LED columns: lit segments green, then yellow, then red near the top.
void DrawLevelBars(Canvas& canvas, int left, int bottom) {
    const int levels[12] = {5, 8, 11, 9, 12, 14, 10, 13, 11, 8, 6, 4};  // lit segments per column
    const int segments = 15, segH = 3, gap = 1, colW = 7, colGap = 3;
    for (int col = 0; col < 12; ++col) {
        for (int seg = 0; seg < segments; ++seg) {
            const double x0 = left + col * (colW + colGap), x1 = x0 + colW;
            const double y1 = bottom - seg * (segH + gap), y0 = y1 - segH;
            const bool lit = seg < levels[col];
            Rgba c = seg >= 12 ? Rgb255(255, 60, 48) : (seg >= 9 ? Rgb255(255, 214, 40) : Rgb255(70, 230, 90));
            if (!lit) c = Rgba{0.55, 0.75, 0.95, 0.16};
            canvas.Draw(
                [&](double x, double y) {
                    if (x < x0 || x >= x1 || y < y0 || y >= y1) return Rgba{};
                    return c;
                },
                2, static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1), static_cast<int>(y1));
        }
    }
}

}  // namespace

Canvas DrawAboutPicture() {
    const int w = kAboutWidth, h = kAboutHeight;
    Canvas canvas(w, h);
    // Background: deep blue at the top left into sea blue at the bottom right,
    // with a soft glow behind the handset.
    canvas.Draw(
        [&](double x, double y) {
            const Rgba a = Rgb255(10, 26, 64), b = Rgb255(14, 96, 132);
            double k = Clamp01((x / w) * 0.45 + (y / h) * 0.75);
            Rgba c = Mix(a, b, k * k * (3 - 2 * k));
            double g = DistCircle(x, y, 96, 100, 0) / 120.0;
            c = Mix(c, Rgb255(60, 150, 200), 0.45 * (1.0 - SmoothStep(0.0, 1.0, g)));
            return c;
        },
        1);
    // A faint horizon line across the lower part.
    canvas.Draw(
        [&](double, double y) { return Rgba{0.7, 0.9, 1.0, 0.10 * (1.0 - SmoothStep(0.0, 1.5, std::fabs(y - 172.5)))}; },
        4, 0, 168, w, 178);

    DrawWaves(canvas, 134.0, 70.0);
    DrawHandset(canvas, 84.0, 112.0);

    Text name = LayOut("QDX", 192.0, 30.0, 40.0, 7.5, 0.22);
    DrawTextShadow(canvas, name, 2.0, 3.0, 3.0, 0.55);
    DrawText(canvas, name, Rgb255(255, 255, 255), Rgb255(176, 226, 250));
    Text line = LayOut("REMOTE CONTROL", 193.0, 88.0, 9.0, 1.9, 0.34);
    DrawText(canvas, line, Rgb255(186, 222, 242), Rgb255(186, 222, 242));

    DrawLevelBars(canvas, 195, 178);

    // A thin light line closes the picture against the white text band below.
    canvas.Draw([&](double, double) { return Rgba{0.80, 0.90, 1.0, 0.55}; }, 1, 0, h - 1, w, h);
    return canvas;
}

}  // namespace artgen
