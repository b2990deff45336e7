#pragma once

#include "engine/task.h"

#include <QDateTime>
#include <QString>

// "HH:MM:SS" of a whole number of seconds; hours are not limited to two digits.
QString timeText(long long seconds);

// A trim time as the list and the logs show it: "HH:MM:SS" and, when it is not a whole
// second, its tenths, rounded to the nearest ("00:00:11.7" for 11.69 s, "00:00:14" for
// 13.98 s), the same wherever a trim time is shown.
QString trimTimeText(double seconds);

// "HH:MM:SS.mmm", rounded to the millisecond, for the encoder's -ss and -t: a trim keeps
// its fraction of a second. Negative or non-finite times give 0; huge ones are capped.
QString preciseTimeText(double seconds);

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

// Turns the Task's Profile template into the encoder's command line, reading the
// template from the profile file in the app folder.
QString expandCommand(const TaskList& tasks, int taskIndex, const QString& outputPath,
                      const QString& appFolder,
                      const QDateTime& now = QDateTime::currentDateTime());

// The replacement steps alone, on a template already read. Every `$` word of the
// template is replaced in one pass, so text that came from a value (a title holding
// "$SIZE", a folder named "$START") is never read as a word.
QString expandTemplate(const QString& text, const Task& task, const QString& outputPath,
                       const QDateTime& now);
