#pragma once

#include <functional>

class CHostDlg;

// Starts the windowed program and returns its exit code. `onHost` is called with the
// host window before it runs.
int runGui(int argc, char** argv, std::function<void(CHostDlg&)> onHost = {});
