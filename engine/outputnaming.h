#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

class TaskList;

// Largest file name and path, in bytes of the file system's encoding (UTF-8 here).
constexpr int kMaxFileNameBytes = 255;
constexpr int kMaxPathBytes = 4095;

// exportName made safe as a file name here and on FAT, exFAT and Windows: "/", "\\",
// ":", "*", "?", '"', "<", ">", "|" and control characters become "_", and a device's
// name (CON, NUL, COM1, ...) gets a "_" after it.
QString safeFileStem(const QString& exportName);

// The name a Task's output takes before its extension: exportName made safe, or, when
// that leaves nothing (an empty title), the source's base name or, failing that, its
// file name. Leading dots are
// dropped so that no output is a hidden file.
QString outputStem(const QString& exportName, const QString& sourcePath);

// Cuts `text` to at most `maxBytes` bytes of UTF-8 without splitting a character.
QString truncateUtf8(const QString& text, int maxBytes);

// Every name the program gives a file it writes (outputs, intermediate files, logs) is
// made here: its stem cleaned (safeFileStem), cut where a character ends so that the
// name and the whole path fit the file system, and numbered "_2", "_3", ... when taken.

// `folder` (ending in "/") + `stem`, cut to fit, + `suffix`.
QString fittedPath(const QString& folder, const QString& stem, const QString& suffix);

// The first path of folder + stem + extension, folder + stem + "_2" + extension, ...
// (each fitted) that `taken` says is free.
QString firstFreePath(const QString& folder, const QString& stem, const QString& extension,
                      const std::function<bool(const QString& path)>& taken);

// The output path for a Task: folder + exportName + ".mp4" (exportType 0) or ".wmv",
// or the first free numbered variant "name_2.mp4", "name_3.mp4", ... An existing file
// is never chosen. A name too long for the file system is shortened, and every
// shortened candidate is tested again, so it never lands on another file's name.
// Paths in `reserved` count as taken too.
QString chooseOutputPath(const QString& outputFolder, const QString& exportName, int exportType,
                         const QSet<QString>* reserved = nullptr);

// The file names (without folder) the Tasks' outputs will most likely get in
// `outputFolder`, by Task index: as chooseOutputPath picks them, where a name an earlier
// Task will take counts as taken. A Task whose output was chosen already keeps it.
QStringList planOutputNames(const TaskList& tasks, const QString& outputFolder);

// True when a file or link holds `path`, or another process writes a file of that name
// into its folder now (under its working name).
bool outputNameInUse(const QString& path);

// Removes what killed runs left in `folder`: working files of outputs (workingfile.h)
// that are ours, regular, and locked by no writer. Returns how many went.
int removeLeftoverOutputs(const QString& folder);
