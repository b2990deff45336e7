#pragma once

#include "task.h"

#include <QDateTime>
#include <QString>

// "HH:MM:SS" of a whole number of seconds; hours are not limited to two digits.
QString timeText(long long seconds);

// The texts that the Task's setting indexes stand for on the encoder's command line;
// an index outside its table gives an empty text.
QString vcodecText(int index);
QString sizeText(int index);
QString frameRateText(int index);
QString videoBitrateText(int index);
QString aspectText(int index);
QString channelText(int index);
QString audioBitrateText(int index);
QString audioSampleText(int index);
QString volumeText(int index);

// A value put between the template's quotes: each `"` becomes `"""`, so a file name or
// title can never add, split or remove arguments.
QString quoteSafe(const QString& value);

// Turns the Task's Profile template into the encoder's command line. Makes the app
// folder the working directory and reads the template from ./Zune_Profile.ini there.
QString expandCommand(const TaskList& tasks, int taskIndex, const QString& outputPath,
                      const QString& appFolder,
                      const QDateTime& now = QDateTime::currentDateTime());

// The replacement steps alone, on a template already read.
QString expandTemplate(QString text, const Task& task, const QString& outputPath,
                       const QDateTime& now);
