#pragma once

#include "engine/task.h"
#include "engine/textcut.h"

#include <QString>

// The edits a user makes to a Task, the same from the window and from the command line.
// Each changes the Task in place and returns true when anything changed, so that a
// caller writes the Task back only then. What an edit does to the file name recorded for
// the Task (outputPath) is decided here and nowhere else: a new title or export type
// makes the next conversion choose a new name; an edit that changes nothing keeps it.

// The longest title, in UTF-16 code units.
constexpr int kTitleLimit = 255;

// Sets the title and the export name (the stem of the output file), cut to kTitleLimit.
bool setTaskTitle(Task& task, const QString& title);

// 0 for MP4, 1 for WMV; any other value counts as MP4.
bool setTaskExportType(Task& task, int exportType);

// The trimmed span, held inside 0..duration with its end not before its start, as the
// range slider holds it. A duration that is not above 0 holds both at 0.
bool setTaskTrim(Task& task, double start, double end, double duration);

// The nine encoding settings that the Custom MP4 Profile takes from the controls.
enum class TaskSetting
{
    VideoType,
    VideoSize,
    FrameRate,
    VideoBitrate,
    Aspect,
    AudioBitrate,
    Channels,
    SampleRate,
    Volume,
};
bool setTaskSetting(Task& task, TaskSetting setting, int item);

// The MP4 Profile (0 is the Custom one) and the WMV profile, as indexes into their lists.
bool setTaskMp4Profile(Task& task, int profile);
bool setTaskWmvProfile(Task& task, int profile);

// The sound track to convert, 1-based; 0 (or less) for the one the file marks as default.
bool setTaskAudioTrack(Task& task, int track);
// The subtitles drawn into the picture: `file` when it is not empty, else the source's
// subtitle track `track` (1-based); 0 and empty for none.
bool setTaskSubtitles(Task& task, int track, const QString& file);
