#pragma once

#include <functional>

class CHostDlg;
class PowerControl;

// Starts the windowed program and returns its exit code. The arguments after the
// program's name are files to add as Tasks. `onHost` is called with the host window
// before it runs; `power` null: systemd-logind powers the machine off.
int runGui(int argc, char** argv, std::function<void(CHostDlg&)> onHost = {},
           PowerControl* power = nullptr);
