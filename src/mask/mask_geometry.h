#pragma once
// Privacy-mask rectangles between the mask window's pixels and the camera's units. Vertical
// coordinates differ by the factor 0.86 in NTSC; PAL and all horizontal ones are the same in both.
// Every coordinate is kept strictly inside the camera's limits.

#include <array>
#include <cstdint>

struct MaskRect {
    int hs = 0;
    int vs = 0;
    int he = 0;
    int ve = 0;
    bool operator==(const MaskRect&) const = default;
};

// H lower, H upper, V lower, V upper, as the camera reports them.
using MaskLimits = std::array<std::uint8_t, 4>;

// Window to camera (NTSC): v × 0.86, truncated toward zero.
int mask_v_to_camera(int v, bool pal);
// Camera to window (NTSC): v / 0.86, truncated toward zero.
int mask_v_to_window(int v, bool pal);
// Into lower + 1 .. upper - 1, the upper bound tested first (so that before the limits are known,
// with both 0, every coordinate from 0 up becomes -1).
int mask_clamp(int value, int lower, int upper);

// A read rectangle (camera units) as the window shows it.
MaskRect mask_view_of_reply(const MaskRect& camera, bool pal);
// A drag from (x1, y1) to (x2, y2) in window units, as the camera rectangle to write.
MaskRect mask_write_rect(int x1, int y1, int x2, int y2, bool pal, const MaskLimits& limits);
// A rectangle in window units brought inside the limits, as it is drawn.
MaskRect mask_display_rect(const MaskRect& view, bool pal, const MaskLimits& limits);
