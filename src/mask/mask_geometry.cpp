#include "mask/mask_geometry.h"

#include <algorithm>

namespace {

constexpr double kNtscScale = 0.86;
// 1 / 0.86 formed in extended precision, so that exact multiples such as 43 lines give 50.
constexpr long double kNtscInverse = 1.0L / 0.86L;

MaskRect clamp_to_limits(MaskRect r, const MaskLimits& limits)
{
    r.hs = mask_clamp(r.hs, limits[0], limits[1]);
    r.he = mask_clamp(r.he, limits[0], limits[1]);
    r.vs = mask_clamp(r.vs, limits[2], limits[3]);
    r.ve = mask_clamp(r.ve, limits[2], limits[3]);
    return r;
}

} // namespace

int mask_v_to_camera(int v, bool pal) { return pal ? v : static_cast<int>(v * kNtscScale); }

int mask_v_to_window(int v, bool pal) { return pal ? v : static_cast<int>(v * kNtscInverse); }

int mask_clamp(int value, int lower, int upper)
{
    if (value > upper - 1) return upper - 1;
    if (value < lower + 1) return lower + 1;
    return value;
}

MaskRect mask_view_of_reply(const MaskRect& camera, bool pal)
{
    return {camera.hs, mask_v_to_window(camera.vs, pal), camera.he, mask_v_to_window(camera.ve, pal)};
}

MaskRect mask_write_rect(int x1, int y1, int x2, int y2, bool pal, const MaskLimits& limits)
{
    const MaskRect r{std::min(x1, x2), mask_v_to_camera(std::min(y1, y2), pal), std::max(x1, x2),
                     mask_v_to_camera(std::max(y1, y2), pal)};
    return clamp_to_limits(r, limits);
}

MaskRect mask_display_rect(const MaskRect& view, bool pal, const MaskLimits& limits)
{
    MaskRect r{view.hs, mask_v_to_camera(view.vs, pal), view.he, mask_v_to_camera(view.ve, pal)};
    r = clamp_to_limits(r, limits);
    r.vs = mask_v_to_window(r.vs, pal);
    r.ve = mask_v_to_window(r.ve, pal);
    return r;
}
