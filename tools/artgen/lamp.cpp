#include <cmath>

#include "art.h"

namespace artgen {

namespace {

struct LampPalette {
    Rgba light;  // body colour where the light falls
    Rgba base;   // body colour
    Rgba shade;  // body colour at the edge
    Rgba rim;    // the dark ring around the glass
};

LampPalette PaletteOf(LampColour c) {
    switch (c) {
    case LampColour::Orange:
        return {Rgb255(255, 226, 120), Rgb255(255, 150, 20), Rgb255(196, 82, 0), Rgb255(92, 38, 0)};
    case LampColour::Grey:
        return {Rgb255(236, 236, 236), Rgb255(170, 172, 176), Rgb255(112, 114, 120), Rgb255(58, 60, 64)};
    case LampColour::Red:
    default:
        return {Rgb255(255, 150, 130), Rgb255(228, 28, 22), Rgb255(150, 8, 6), Rgb255(74, 0, 0)};
    }
}

}  // namespace

Canvas DrawLamp(LampColour colour, int size) {
    const LampPalette pal = PaletteOf(colour);
    const double c = size / 2.0;
    const double radius = size / 2.0 - 0.6;
    // The rim keeps about a pixel and a half at 32 pixels and one pixel at 16.
    const double rim = size >= 32 ? 1.6 : 1.1;
    Canvas canvas(size, size);
    canvas.Draw(
        [&](double x, double y) {
            const double u = (x - c) / radius, v = (y - c) / radius;
            const double r = std::sqrt(u * u + v * v);
            if (r > 1.0) return Rgba{};
            const double rimStart = 1.0 - rim / radius;
            if (r > rimStart) {
                // The ring is a touch lighter at the bottom, as if lit from within.
                return Mix(pal.rim, pal.shade, 0.35 * Clamp01(v));
            }
            // Body: bright where the light falls (upper left), darker towards the edge.
            const double lx = u + 0.30, ly = v + 0.38;
            const double toLight = Clamp01(std::sqrt(lx * lx + ly * ly) / 1.25);
            Rgba body = toLight < 0.5 ? Mix(pal.light, pal.base, toLight * 2) : Mix(pal.base, pal.shade, (toLight - 0.5) * 2);
            const double edge = r / rimStart;
            body = Mix(body, pal.shade, 0.55 * SmoothStep(0.70, 1.0, edge));
            // Glow in the lower half: light coming back through the glass.
            const double gd = DistEllipseApprox(u, v, 0.0, 0.52, 0.62, 0.34);
            if (gd < 0) body = Mix(body, pal.light, 0.30 * SmoothStep(0.0, 0.25, -gd));
            // Glossy reflection across the top.
            const double hd = DistEllipseApprox(u, v, 0.0, -0.42, 0.66, 0.42);
            if (hd < 0) {
                const double fade = Clamp01((v + 0.84) / 0.84);  // strongest at the top
                const double a = (0.92 - 0.80 * fade) * SmoothStep(0.0, 0.10, -hd);
                body = Mix(body, Opaque(1, 1, 1), a);
            }
            // A small sharp spark.
            const double sd = DistCircle(u, v, -0.36, -0.50, 0.13);
            if (sd < 0) body = Mix(body, Opaque(1, 1, 1), 0.85 * SmoothStep(0.0, 0.08, -sd));
            body.a = 1.0;
            return body;
        },
        8);
    return canvas;
}

}  // namespace artgen
