#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

class QProcess;

// Running the built encoder program and judging what it wrote, for the encoder tests.
namespace encoderrun {

QString encoderPath();

struct Result
{
    int exitCode = -1;
    QString output; // standard output and error together
};

// Runs trelvo-encoder with `args`; standard input is closed at once, which must
// change nothing.
Result run(const QStringList& args);

// The arguments profile 0 gives with the window's default settings, apart from the
// ones a test changes.
QStringList zuneArgs(const QString& input, const QString& output, const QStringList& changes = {});

// Arguments for a conversion that is still busy when a test interrupts it: a long
// source made four times larger.
QStringList busyArgs(const QString& output);
// Reads what the running encoder says (into `said`) until its progress passes one second
// of output; false when it ended before that.
bool waitForProgress(QProcess& encoder, QByteArray* said);
// Starts a busy conversion into `output` and waits for its progress past one second;
// false when it did not start or ended before that.
bool startBusyEncoder(QProcess& encoder, const QString& output, QByteArray* said);

// Mean luma (0..255) of the first frame of a file, optionally after seeking
// accurately with ffmpeg; -1 when ffmpeg fails.
int firstFrameLuma(const QString& path, const QString& seek = {}, const QString& crop = {});

// Whether ffmpeg decodes the whole file without one error.
bool decodesCleanly(const QString& path);

// Top-level boxes of an MP4, in file order.
QStringList topLevelBoxes(const QString& path);

double number(const QJsonObject& object, const QString& key);

} // namespace encoderrun
