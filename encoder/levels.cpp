#include "encoder/levels.h"

#include <cstdlib>
#include <iterator>

namespace {

struct LevelLimits
{
    int level;
    long macroblocksPerSecond;
    int frameMacroblocks;
    int maxKbps;    // Baseline's MaxBR
    int bufferKbit; // Baseline's MaxCPB
};

// Table A-1 of H.264.
constexpr LevelLimits h264Levels[] = {
    {10, 1485, 99, 64, 175},
    {9, 1485, 99, 128, 350},
    {11, 3000, 396, 192, 500},
    {12, 6000, 396, 384, 1000},
    {13, 11880, 396, 768, 2000},
    {20, 11880, 396, 2000, 2000},
    {21, 19800, 792, 4000, 4000},
    {22, 20250, 1620, 4000, 4000},
    {30, 40500, 1620, 10000, 10000},
    {31, 108000, 3600, 14000, 14000},
    {32, 216000, 5120, 20000, 20000},
    {40, 245760, 8192, 20000, 25000},
    {41, 245760, 8192, 50000, 62500},
    {42, 522240, 8704, 50000, 62500},
    {50, 589824, 22080, 135000, 135000},
    {51, 983040, 36864, 240000, 240000},
    {52, 2073600, 36864, 240000, 240000},
};

// MPEG-4 Visual Simple Profile, levels 1 to 6 (0 and 0b left out: they cap 64 kbit/s).
constexpr LevelLimits mpeg4Levels[] = {
    {1, 1485, 99, 64, 160},        {2, 5940, 396, 128, 640},      {3, 11880, 396, 384, 640},
    {4, 36000, 1200, 4000, 10240}, {5, 40500, 1620, 8000, 10240}, {6, 108000, 3600, 12000, 14336},
};

bool fits(const LevelLimits& limits, const StreamDemand& d)
{
    const long frameMbs = long((d.width + 15) / 16) * ((d.height + 15) / 16);
    return frameMbs <= limits.frameMacroblocks &&
           frameMbs * d.frameRate <= limits.macroblocksPerSecond + 0.5 &&
           d.maxKbps <= limits.maxKbps && d.bufferKbit <= limits.bufferKbit;
}

} // namespace

bool h264LevelFits(int level, const StreamDemand& demand)
{
    for (const LevelLimits& limits : h264Levels) {
        if (limits.level == level)
            return fits(limits, demand);
    }
    return false;
}

int h264LevelFor(const StreamDemand& demand, int requestedLevel)
{
    if (h264LevelFits(requestedLevel, demand))
        return requestedLevel;
    for (const LevelLimits& limits : h264Levels) {
        if (fits(limits, demand))
            return limits.level;
    }
    return std::prev(std::end(h264Levels))->level;
}

std::string h264LevelName(int level)
{
    if (level == 9)
        return "1b";
    std::string name = std::to_string(level / 10);
    if (level % 10) {
        name += '.';
        name += std::to_string(level % 10);
    }
    return name;
}

int mpeg4SimpleLevelFor(const StreamDemand& demand)
{
    for (const LevelLimits& limits : mpeg4Levels) {
        if (fits(limits, demand))
            return limits.level;
    }
    return std::prev(std::end(mpeg4Levels))->level;
}

int nearestAacSampleRate(int requested)
{
    static constexpr int rates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                    22050, 16000, 12000, 11025, 8000,  7350};
    int best = rates[0];
    for (int rate : rates) {
        if (std::abs(rate - requested) < std::abs(best - requested))
            best = rate;
    }
    return best;
}
