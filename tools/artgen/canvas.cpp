#include "canvas.h"

#include <algorithm>
#include <cmath>

namespace artgen {

double Clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

double SmoothStep(double e0, double e1, double x) {
    double t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

Rgba Mix(const Rgba& a, const Rgba& b, double t) {
    return Rgba{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Canvas::Canvas(int width, int height) : w_(width), h_(height), px_(static_cast<size_t>(width) * height * 4, 0.0) {}

void Canvas::Draw(const Shader& shader, int n, int x0, int y0, int x1, int y1) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, w_);
    y1 = std::min(y1, h_);
    const double step = 1.0 / n;
    const double weight = 1.0 / (static_cast<double>(n) * n);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < n; ++sy) {
                for (int sx = 0; sx < n; ++sx) {
                    Rgba c = shader(x + (sx + 0.5) * step, y + (sy + 0.5) * step);
                    double ca = Clamp01(c.a);
                    r += c.r * ca;
                    g += c.g * ca;
                    b += c.b * ca;
                    a += ca;
                }
            }
            r *= weight;
            g *= weight;
            b *= weight;
            a *= weight;
            double* p = &px_[(static_cast<size_t>(y) * w_ + x) * 4];
            double keep = 1.0 - a;
            p[0] = r + p[0] * keep;
            p[1] = g + p[1] * keep;
            p[2] = b + p[2] * keep;
            p[3] = a + p[3] * keep;
        }
    }
}

static uint8_t To8(double v) {
    long q = std::lround(Clamp01(v) * 255.0);
    return static_cast<uint8_t>(q);
}

void Canvas::Get8(int x, int y, uint8_t& r, uint8_t& g, uint8_t& b, uint8_t& a) const {
    const double* p = &px_[(static_cast<size_t>(y) * w_ + x) * 4];
    a = To8(p[3]);
    if (p[3] <= 0.0) {
        r = g = b = 0;
        return;
    }
    r = To8(p[0] / p[3]);
    g = To8(p[1] / p[3]);
    b = To8(p[2] / p[3]);
}

double DistCircle(double x, double y, double cx, double cy, double r) {
    double dx = x - cx, dy = y - cy;
    return std::sqrt(dx * dx + dy * dy) - r;
}

double DistSegment(double x, double y, double ax, double ay, double bx, double by) {
    double px = x - ax, py = y - ay, vx = bx - ax, vy = by - ay;
    double len2 = vx * vx + vy * vy;
    double t = len2 > 0 ? Clamp01((px * vx + py * vy) / len2) : 0.0;
    double dx = px - vx * t, dy = py - vy * t;
    return std::sqrt(dx * dx + dy * dy);
}

double DistRoundBox(double x, double y, double cx, double cy, double hw, double hh, double r) {
    double qx = std::fabs(x - cx) - (hw - r);
    double qy = std::fabs(y - cy) - (hh - r);
    double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - r;
}

double DistEllipseApprox(double x, double y, double cx, double cy, double rx, double ry) {
    double nx = (x - cx) / rx, ny = (y - cy) / ry;
    double k = std::sqrt(nx * nx + ny * ny);
    return (k - 1.0) * std::min(rx, ry);
}

}  // namespace artgen
