// Floating-point drawing surface with anti-aliased shape filling by
// supersampling. Only IEEE arithmetic and sqrt are used (no trigonometry from
// the C library), so the output is the same on every host.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace artgen {

struct Rgba {
    double r = 0, g = 0, b = 0, a = 0;  // straight (not premultiplied), 0..1
};

inline Rgba Opaque(double r, double g, double b) { return Rgba{r, g, b, 1.0}; }
inline Rgba Rgb255(int r, int g, int b, double a = 1.0) { return Rgba{r / 255.0, g / 255.0, b / 255.0, a}; }
Rgba Mix(const Rgba& a, const Rgba& b, double t);  // t = 0 gives a
double Clamp01(double v);
double SmoothStep(double e0, double e1, double x);

// Pixels hold premultiplied colour; (0,0) is the top-left pixel, whose centre is (0.5,0.5).
class Canvas {
public:
    Canvas(int width, int height);
    int Width() const { return w_; }
    int Height() const { return h_; }

    // Shader: colour (with coverage alpha) at a point, in pixel coordinates.
    using Shader = std::function<Rgba(double x, double y)>;

    // Composites the shader over the canvas, sampling each pixel n x n times,
    // within the box [x0,x1) x [y0,y1) (clipped to the canvas).
    void Draw(const Shader& shader, int n, int x0, int y0, int x1, int y1);
    void Draw(const Shader& shader, int n) { Draw(shader, n, 0, 0, w_, h_); }

    // Straight 8-bit channels of one pixel.
    void Get8(int x, int y, uint8_t& r, uint8_t& g, uint8_t& b, uint8_t& a) const;

private:
    int w_, h_;
    std::vector<double> px_;  // r,g,b,a premultiplied
};

// Signed distances (negative inside) of basic shapes, in pixel units.
double DistCircle(double x, double y, double cx, double cy, double r);
double DistSegment(double x, double y, double ax, double ay, double bx, double by);  // unsigned
double DistRoundBox(double x, double y, double cx, double cy, double hw, double hh, double r);
double DistEllipseApprox(double x, double y, double cx, double cy, double rx, double ry);

}  // namespace artgen
