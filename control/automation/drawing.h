// The control's design-time picture: its bounds filled with white and an
// ellipse inscribed in them, outlined with the pen and filled with the brush
// of the canvas (a device context's defaults: black pen, white brush).
#pragma once

#include "control/automation/palvex_com.h"

#include <cstdint>

namespace palvex {

constexpr PALVEX_RGBA kBlack{0, 0, 0, 255};
constexpr PALVEX_RGBA kWhite{255, 255, 255, 255};

// A canvas over caller pixels with the default pen and brush.
PALVEX_CANVAS MakeCanvas(std::uint8_t* rgba, int width, int height, int stride);

// Paints into the canvas; only pixels inside the canvas, the bounds and
// `invalid` (nullptr: no limit) change. E_INVALIDARG for a canvas without
// pixels or with a stride too small for its width.
HRESULT DrawDesignPicture(const PALVEX_CANVAS& canvas, const RECTL& bounds, const RECTL* invalid);

} // namespace palvex
