#include "gui.h"

#include <cstdio>

int runGui(int, char**)
{
    std::puts("Trelvo Converter: the window is not built yet; see --help.");
    return 0;
}
