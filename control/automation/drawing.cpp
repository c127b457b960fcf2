#include "control/automation/drawing.h"

#include <algorithm>
#include <cstdint>

namespace palvex {

namespace {

// Whether the centre of pixel (x, y) lies in the ellipse inscribed in
// `bounds`. Coordinates are doubled so the centres are whole numbers:
// (2x + 1 - (left + right))^2 / w^2 + (same for y) / h^2 <= 1.
bool InsideEllipse(const RECTL& b, std::int64_t x, std::int64_t y) {
    const double w = static_cast<double>(b.right) - b.left;
    const double h = static_cast<double>(b.bottom) - b.top;
    const double dx = static_cast<double>(2 * x + 1) - (static_cast<double>(b.left) + b.right);
    const double dy = static_cast<double>(2 * y + 1) - (static_cast<double>(b.top) + b.bottom);
    return (dx * dx) / (w * w) + (dy * dy) / (h * h) <= 1.0;
}

bool InsideBoundsAndEllipse(const RECTL& b, std::int64_t x, std::int64_t y) {
    return x >= b.left && x < b.right && y >= b.top && y < b.bottom && InsideEllipse(b, x, y);
}

void Put(const PALVEX_CANVAS& c, std::int32_t x, std::int32_t y, PALVEX_RGBA colour) {
    std::uint8_t* p = c.pixels + static_cast<std::ptrdiff_t>(y) * c.stride + std::ptrdiff_t{x} * 4;
    p[0] = colour.r;
    p[1] = colour.g;
    p[2] = colour.b;
    p[3] = colour.a;
}

} // namespace

PALVEX_CANVAS MakeCanvas(std::uint8_t* rgba, int width, int height, int stride) {
    return PALVEX_CANVAS{rgba, width, height, stride, kBlack, kWhite};
}

HRESULT DrawDesignPicture(const PALVEX_CANVAS& canvas, const RECTL& bounds, const RECTL* invalid) {
    if (canvas.pixels == nullptr || canvas.width < 0 || canvas.height < 0 ||
        canvas.stride < std::int64_t{canvas.width} * 4)
        return E_INVALIDARG;

    // The pixels that may change.
    std::int32_t left = std::max(0, bounds.left);
    std::int32_t top = std::max(0, bounds.top);
    std::int32_t right = std::min(canvas.width, bounds.right);
    std::int32_t bottom = std::min(canvas.height, bounds.bottom);
    if (invalid != nullptr) {
        left = std::max(left, invalid->left);
        top = std::max(top, invalid->top);
        right = std::min(right, invalid->right);
        bottom = std::min(bottom, invalid->bottom);
    }

    for (std::int32_t y = top; y < bottom; ++y) {
        for (std::int32_t x = left; x < right; ++x) {
            // The stock white brush fills the bounds; the ellipse covers it
            // with its interior (brush) and its one-pixel outline (pen): the
            // pixels inside whose neighbour on some side is outside.
            PALVEX_RGBA colour = kWhite;
            if (InsideEllipse(bounds, x, y)) {
                const bool edge = !InsideBoundsAndEllipse(bounds, std::int64_t{x} - 1, y) ||
                                  !InsideBoundsAndEllipse(bounds, std::int64_t{x} + 1, y) ||
                                  !InsideBoundsAndEllipse(bounds, x, std::int64_t{y} - 1) ||
                                  !InsideBoundsAndEllipse(bounds, x, std::int64_t{y} + 1);
                colour = edge ? canvas.pen : canvas.brush;
            }
            Put(canvas, x, y, colour);
        }
    }
    return S_OK;
}

} // namespace palvex
