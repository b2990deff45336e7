#include "media/mediacatalog.h"

namespace {
constexpr unsigned fourcc(char a, char b, char c, char d)
{
    return unsigned(a) | unsigned(b) << 8 | unsigned(c) << 16 | unsigned(d) << 24;
}
constexpr double kNtsc30 = 30000.0 / 1001.0;
} // namespace

const std::vector<WmvProfile>& wmvProfileTable()
{
    // The Zune plays up to 640x480 at 30 frames a second; its own screen is 320x240.
    static const std::vector<WmvProfile> table{
        // Short enough to read whole in the closed profile box, whose label says "Zune
        // WMV Profile".
        {"320x240 (4:3), 768 kbps video, 128 kbps audio", 320, 240, kNtsc30, 768, 128},
        {"320x180 (16:9), 768 kbps video, 128 kbps audio", 320, 180, kNtsc30, 768, 128},
        {"640x480 (4:3), 1500 kbps video, 128 kbps audio", 640, 480, kNtsc30, 1500, 128},
        {"640x360 (16:9), 1500 kbps video, 128 kbps audio", 640, 360, kNtsc30, 1500, 128},
        {"320x240 (4:3), 384 kbps video, 64 kbps audio", 320, 240, kNtsc30, 384, 64},
    };
    return table;
}

const std::vector<Compressor>& videoCompressorTable()
{
    static const std::vector<Compressor> table{
        {"Microsoft MPEG-4 Video Codec V3", "msmpeg4", 0},
        {"DivX MPEG-4 Part 2 (compatible)", "mpeg4", fourcc('D', 'X', '5', '0')},
        {"Windows Media Video 8", "wmv2", 0},
        {"Motion JPEG", "mjpeg", 0},
    };
    return table;
}

const std::vector<Compressor>& audioCompressorTable()
{
    static const std::vector<Compressor> table{
        {"MPEG Layer-3", "libmp3lame", 0},
        {"PCM", "pcm_s16le", 0},
        {"MPEG Layer-2", "mp2", 0},
        {"Windows Media Audio 2", "wmav2", 0},
    };
    return table;
}

QStringList wmvProfileDescriptions()
{
    QStringList list;
    for (const WmvProfile& profile : wmvProfileTable())
        list << QString::fromUtf8(profile.description);
    return list;
}

QStringList compressorNames(const std::vector<Compressor>& table)
{
    QStringList list;
    for (const Compressor& compressor : table)
        list << QString::fromUtf8(compressor.name);
    return list;
}

std::optional<BitRates> wmvBitRates(int wmvProfile)
{
    const auto& table = wmvProfileTable();
    if (wmvProfile < 0 || wmvProfile >= int(table.size()))
        return std::nullopt;
    const WmvProfile& profile = table[size_t(wmvProfile)];
    return BitRates{profile.videoKbps, profile.audioKbps};
}
