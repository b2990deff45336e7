#pragma once

// The program's window on a program folder whose Profile runs a quick stand-in encoder,
// with the messages it would show recorded instead of shown.

#include "engine/batchhost.h"
#include "engine/standins.h"
#include "shell/chostdlg.h"
#include "shell/cskinengine.h"

#include <QStringList>

#include <functional>
#include <memory>

class CQuenmarDlg;

// Loads and applies the skin the program ships with.
void applyShippedSkin(CSkinEngine& skin);

// Turns the event loop until `condition` holds or `ms` have passed; returns the condition.
bool waitUntil(const std::function<bool()>& condition, int ms = 20000);

struct HostRig
{
    StandInApp app;
    FakePower power;
    CSkinEngine skin;
    std::unique_ptr<CHostDlg> host;
    QStringList messages; // "caption|text"
    QList<BatchHost::MessageIcon> icons;

    HostRig();
    ~HostRig();
    CQuenmarDlg& main() const;
    // A copy of a small test clip named `name` in the stand-in folder, added as a Task.
    QString addSource(const QString& name);
    void tickShutdown();
    // Presses Start and turns the event loop until the batch has ended.
    void runBatch();
};
