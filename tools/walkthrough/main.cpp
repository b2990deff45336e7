// The program's window driven by a script (see walkthrough.h), for the walk-through
// scripts under a virtual display. Not part of the installed program.
#include "gui.h"
#include "walkthrough.h"

#include <QString>

#include <cstdio>

int main(int argc, char** argv)
{
    const QString script = qEnvironmentVariable("TRELVO_WALKTHROUGH");
    if (script.isEmpty()) {
        std::fputs("trelvo-walkthrough: set TRELVO_WALKTHROUGH to a script file\n", stderr);
        return 2;
    }
    return runGui(argc, argv, [&](CHostDlg& host) { new Walkthrough(host, script); });
}
