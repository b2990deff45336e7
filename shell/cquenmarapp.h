#pragma once

#include "shell/cskinengine.h"

#include <QStringList>

#include <functional>

class CHostDlg;
class PowerControl;

// The application: prepares the process (program folder, the skin), runs the host window modally,
// and ends the skin when the window has closed. Needs a QApplication.
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
    // Called with the host window just before it runs (tools that drive the window).
    void setHostHook(std::function<void(CHostDlg&)> hook) { m_hostHook = std::move(hook); }
    // Files (full paths) the window adds as Tasks once it is open.
    void setStartFiles(const QStringList& paths) { m_startFiles = paths; }

    // The folder of the running executable, links resolved, ending in "/".
    static QString executableFolder();

private:
    PowerControl* m_power;
    CSkinEngine m_skin;
    std::function<void(CHostDlg&)> m_hostHook;
    QStringList m_startFiles;
};
