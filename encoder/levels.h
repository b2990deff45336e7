#pragma once

#include <string>

// What a level has to hold: the picture, its rate and the bit stream's rate and buffer.
struct StreamDemand
{
    int width = 0;
    int height = 0;
    double frameRate = 0.0;
    int maxKbps = 0;
    int bufferKbit = 0;
};

// H.264 level times ten (1b is 9). The requested level when the stream fits it,
// otherwise the smallest level that holds it (the highest when none does).
int h264LevelFor(const StreamDemand& demand, int requestedLevel);
bool h264LevelFits(int level, const StreamDemand& demand);
std::string h264LevelName(int level);

// MPEG-4 Visual Simple Profile level (profile_and_level_indication's low bits).
int mpeg4SimpleLevelFor(const StreamDemand& demand);

// The AAC sample rate nearest to the requested one (the higher on a tie).
int nearestAacSampleRate(int requested);
