#include "engine/taskedits.h"

#include "engine/textcut.h"

#include <algorithm>

namespace {

template <typename T> bool assign(T& field, const T& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

bool setTaskTitle(Task& task, const QString& title)
{
    const QString text = cutText(title, kTitleLimit);
    if (task.title == text && task.exportName == text)
        return false;
    task.title = text;
    task.exportName = text;
    task.outputPath.clear(); // the next conversion writes under the new name
    return true;
}

bool setTaskExportType(Task& task, int exportType)
{
    if (!assign(task.exportType, exportType == 1 ? 1 : 0))
        return false;
    task.outputPath.clear(); // another container, another extension
    return true;
}

bool setTaskTrim(Task& task, double start, double end, double duration)
{
    if (!(duration > 0))
        duration = 0;
    start = std::clamp(start, 0.0, duration);
    end = std::clamp(end, start, duration);
    const bool moved = assign(task.startTime, start);
    return assign(task.endTime, end) || moved;
}

bool setTaskSetting(Task& task, TaskSetting setting, int item)
{
    switch (setting) {
    case TaskSetting::VideoType:
        return assign(task.videoType, item);
    case TaskSetting::VideoSize:
        return assign(task.videoSize, item);
    case TaskSetting::FrameRate:
        return assign(task.frameRate, item);
    case TaskSetting::VideoBitrate:
        return assign(task.videoBitrate, item);
    case TaskSetting::Aspect:
        return assign(task.aspect, item);
    case TaskSetting::AudioBitrate:
        return assign(task.audioBitrate, item);
    case TaskSetting::Channels:
        return assign(task.channels, item);
    case TaskSetting::SampleRate:
        return assign(task.sampleRate, item);
    case TaskSetting::Volume:
        return assign(task.volume, item);
    }
    return false;
}

bool setTaskMp4Profile(Task& task, int profile)
{
    return assign(task.mp4Profile, profile);
}

bool setTaskWmvProfile(Task& task, int profile)
{
    return assign(task.wmvProfile, profile);
}

bool setTaskAudioTrack(Task& task, int track)
{
    return assign(task.audioTrack, std::max(0, track));
}

bool setTaskSubtitles(Task& task, int track, const QString& file)
{
    const int32_t number = file.isEmpty() ? std::max(0, track) : 0;
    const bool moved = assign(task.subtitleTrack, number);
    return assign(task.subtitleFile, file) || moved;
}
