#pragma once

#include "engine/settingitems.h"

#include <QStringList>
#include <optional>
#include <vector>

// The lists the media component offers: its Zune WMV profiles and the compressors it
// can write into AVI files, each with the FFmpeg encoder behind it.

struct WmvProfile
{
    const char* description;
    int width;
    int height;
    double frameRate;
    int videoKbps;
    int audioKbps;
};

struct Compressor
{
    const char* name;
    const char* encoder; // FFmpeg's encoder name
    unsigned tag;        // AVI codec tag; 0 for the muxer's own
};

const std::vector<WmvProfile>& wmvProfileTable();
const std::vector<Compressor>& videoCompressorTable();
const std::vector<Compressor>& audioCompressorTable();

QStringList wmvProfileDescriptions();
QStringList compressorNames(const std::vector<Compressor>& table);

// The bit rates the WMV profile of that number writes; none for a number it does not know.
std::optional<BitRates> wmvBitRates(int wmvProfile);
