#pragma once

#include <QStringList>

// True when the arguments ask for the command line (any "--" option) rather than the
// window.
bool wantsCommandLine(int argc, char** argv);

// The converter without a window, on the same engine:
//   trelvo-converter --convert FILE... [--output DIR] [--wmv] [--profile N]
//                    [--wmv-profile N] [--start SECONDS] [--end SECONDS] [--title TEXT]
//   trelvo-converter --list-profiles | --help
// Returns 0 when every Task finished, 1 when any failed, 2 on a usage error and 130
// when Ctrl+C stopped the batch.
int runCommandLine(int argc, char** argv);
