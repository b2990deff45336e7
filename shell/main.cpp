#include "shell/commandline.h"
#include "shell/gui.h"

#include <cstdio>
#include <cstdlib>
#include <malloc.h>

int main(int argc, char** argv)
{
    // A conversion runs several threads at once (decoder, reader, encoder), and each would
    // get a malloc arena of its own, holding memory the others cannot use.
    mallopt(M_ARENA_MAX, 2);
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
