#include "encoder/console.h"
#include "encoder/encoderoptions.h"
#include "encoder/protocol/encoderprotocol.h"
#include "encoder/transcoder.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdio>

int main(int argc, char** argv)
{
    // The value parsers would log their own complaint beside ours.
    av_log_set_level(AV_LOG_QUIET);
    const ParseResult parsed = parseEncoderOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.options.showHelp) {
        std::fputs(encoderUsage, stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        console::error(parsed.error);
        return encoderprotocol::kExitUsage;
    }
    av_log_set_level(AV_LOG_ERROR);
    console::installLogFilter();
    console::StopRequest::startWatching();
    return encoder::Transcoder(parsed.options).run();
}
