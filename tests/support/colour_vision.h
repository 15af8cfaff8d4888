#pragma once
// How a colour looks to a person without green-sensitive cones (deuteranopia), after Machado,
// Oliveira and Fernandes (2009) at full severity: the colour in linear RGB times their matrix.
// The CIE lightness L* (0 black .. 100 white) of what such a person sees tells whether two fills
// stay apart once hue no longer helps.

#include <QColor>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <map>

inline double linear_channel(double encoded)
{
    return encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);
}

inline double deuteranope_lightness(const QColor& colour)
{
    constexpr double kSeen[3][3] = {{0.367322, 0.860646, -0.227968},
                                    {0.280085, 0.672501, 0.047413},
                                    {-0.011820, 0.042940, 0.968881}};
    const double rgb[3] = {linear_channel(colour.redF()), linear_channel(colour.greenF()), linear_channel(colour.blueF())};
    double seen[3];
    for (int i = 0; i < 3; ++i)
        seen[i] = std::clamp(kSeen[i][0] * rgb[0] + kSeen[i][1] * rgb[1] + kSeen[i][2] * rgb[2], 0.0, 1.0);
    const double luminance = 0.2126 * seen[0] + 0.7152 * seen[1] + 0.0722 * seen[2];
    constexpr double kEpsilon = 216.0 / 24389.0;
    return luminance > kEpsilon ? 116.0 * std::cbrt(luminance) - 16.0 : luminance * 24389.0 / 27.0;
}

// The colour most pixels of `image` have: a tile's fill, whatever is written on it.
inline QColor dominant_colour(const QImage& image)
{
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y) | 0xff000000u];
    const auto most = std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    return most == counts.end() ? QColor() : QColor::fromRgb(most->first);
}
