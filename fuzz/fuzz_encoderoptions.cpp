// Any argument vector for the encoder: understood or refused, never a crash, and what
// is understood is within the ranges the encoder relies on.
#include "encoder/encoderoptions.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Arguments are separated by NUL bytes, as they reach main().
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += char(data[i]);
    }
    const ParseResult parsed = parseEncoderOptions(args);
    for (const std::string& arg : args)
        parseTime(arg);
    if (!parsed.error.empty() || parsed.options.showHelp)
        return 0;
    const EncoderOptions& o = parsed.options;
    const bool bad =
        o.inputPath.empty() || o.outputPath.empty() || !std::isfinite(o.start) || o.start < 0 ||
        (o.length && (!std::isfinite(*o.length) || *o.length <= 0)) ||
        (o.width && (*o.width <= 0 || *o.width % 2)) ||
        (o.height && (*o.height <= 0 || *o.height % 2)) ||
        (o.frameRateNum && (*o.frameRateNum <= 0 || !o.frameRateDen || *o.frameRateDen <= 0)) ||
        o.videoKbps <= 0 || o.audioKbps <= 0 ||
        (o.channels && (*o.channels < 1 || *o.channels > 2)) ||
        (o.sampleRate && *o.sampleRate <= 0) || o.volume < 0 || o.gop < 0 ||
        (o.aspectNum && (*o.aspectNum <= 0 || !o.aspectDen || *o.aspectDen <= 0));
    if (bad)
        std::abort();
    return 0;
}
