#include "shell/commandline.h"
#include "shell/gui.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (wantsCommandLine(argc, argv))
        return runCommandLine(argc, argv);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM")) {
        std::fputs("trelvo-converter: no display found. Without one, convert on the command "
                   "line:\n  trelvo-converter --help\n",
                   stderr);
        return 1;
    }
    return runGui(argc, argv);
}
