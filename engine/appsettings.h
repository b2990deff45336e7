#pragma once

#include <QSize>
#include <QString>

// The program's stored settings ("Trelvo Converter" in the user's settings folder).

// The output folder chosen last; the user's Videos folder (or home) when none was.
QString storedOutputFolder();
void storeOutputFolder(const QString& folder);
// The folder that videos were last added from; empty when none was.
QString storedAddFolder();
void storeAddFolder(const QString& folder);
// The version text shown in the caption; empty when none is stored.
QString storedVersion();
// The folder used when nothing is stored.
QString defaultOutputFolder();

// How many Tasks a batch converts at once: the stored "Jobs" value when it is a number
// from 1 to kMaxJobs, otherwise defaultJobs() for this machine.
constexpr int kMaxJobs = 16;
int storedJobs();
// One Task at a time on two cores or fewer: an encoder already keeps them busy.
// Larger machines run one Task per two cores, up to kDefaultJobsCap.
constexpr int kDefaultJobsCap = 8;
int defaultJobs(int cores);
int defaultJobs();

// The window's size as the user left it, and whether it was maximised; an invalid size
// when none is stored.
struct WindowSize
{
    QSize size;
    bool maximized = false;
};
WindowSize storedWindowSize();
void storeWindowSize(const WindowSize& window);
