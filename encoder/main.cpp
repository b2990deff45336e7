#include "console.h"
#include "encoderoptions.h"
#include "transcoder.h"

#include <cstdio>

int main(int argc, char** argv)
{
    const ParseResult parsed = parseEncoderOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.options.showHelp) {
        std::fputs(encoderUsage, stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        console::error(parsed.error);
        return 2;
    }
    console::installLogFilter();
    console::StopRequest::startWatching();
    return Transcoder(parsed.options).run();
}
