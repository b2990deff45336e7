#pragma once

// Contrast of two colours as the accessibility guidelines define it: 1 (none) to 21.
// A colour is anything with red(), green() and blue() from 0 to 255 (QColor, Rgb).

#include <algorithm>
#include <cmath>

namespace contrast {

struct Rgb
{
    int r, g, b;
    int red() const { return r; }
    int green() const { return g; }
    int blue() const { return b; }
};

template <typename Colour> double luminance(const Colour& colour)
{
    auto linear = [](int value) {
        const double c = value / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.red()) + 0.7152 * linear(colour.green()) +
           0.0722 * linear(colour.blue());
}

template <typename A, typename B> double ratio(const A& a, const B& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Text must stand out from its background at least this much.
constexpr double kReadable = 4.5;

} // namespace contrast
