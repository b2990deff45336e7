#pragma once

#include "cskinengine.h"

class PowerControl;

// The application: prepares the process (program folder as working directory, the
// skin), runs the host window modally, and ends the skin when the window has closed.
// Needs a QApplication.
class CQuenmarApp
{
public:
    static constexpr const char* kSkinFile = "Stylish.skf";

    // `power` null: systemd-logind powers the machine off.
    explicit CQuenmarApp(PowerControl* power = nullptr);

    // The whole run: InitInstance, then ExitInstance, whose result is the exit code.
    int run();
    bool InitInstance();
    int ExitInstance();

    CSkinEngine& skin() { return m_skin; }

    // The folder of the running executable, links resolved, ending in "/".
    static QString executableFolder();

private:
    PowerControl* m_power;
    CSkinEngine m_skin;
};
