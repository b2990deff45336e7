#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

// Small helpers for filter descriptions and messages.
namespace av {

// printf into a std::string; descriptions longer than 511 characters are cut.
std::string format(const char* pattern, auto... values)
{
    char text[512];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

// The nearest even picture size, at least 2: the encoders' chroma wants whole pairs.
inline int even(double value)
{
    return std::max(2, int(std::lround(value / 2.0)) * 2);
}

} // namespace av
