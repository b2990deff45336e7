#include "gui.h"

#include "cquenmarapp.h"

#include <QApplication>

#include <cstdio>

namespace {

bool displayAvailable()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int runGui(int argc, char** argv)
{
    if (!displayAvailable()) {
        std::fputs("Trelvo Converter: no display found, so the window cannot open.\n"
                   "The converter also works without one: trelvo-converter --help\n",
                   stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trelvo Converter"));
    CQuenmarApp app;
    return app.run();
}
