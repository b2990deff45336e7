#pragma once

#include <QString>

// What the batch driver needs from the window (or the command line) that runs it.
class BatchHost
{
public:
    enum class MessageIcon
    {
        None,
        Warning,
        Stop
    };

    virtual ~BatchHost() = default;
    // The output folder as shown to the user; empty when none is set.
    virtual QString outputFolderText() const = 0;
    // Shows the stop button in place of the start button while converting, and back.
    virtual void showConverting(bool converting) = 0;
    virtual bool shutdownWhenFinished() const = 0;
    // The export type the window's radio buttons show: 0 MP4, 1 WMV.
    virtual int selectedExportType() const = 0;
    virtual void showMessage(const QString& text, const QString& caption, MessageIcon icon) = 0;
    virtual void redrawCell(int row, int column) = 0;
};

// Powers the machine off; replaced in tests so that no test can power a machine off.
class PowerControl
{
public:
    virtual ~PowerControl() = default;
    virtual bool canPowerOff() = 0;
    virtual bool powerOff() = 0;
};
