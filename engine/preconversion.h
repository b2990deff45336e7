#pragma once

#include "engine/clock.h"
#include "engine/mediacomponent.h"
#include "engine/task.h"

#include <QString>

// The RealMedia pre-conversion of a Task: the encoder does not read RealMedia, so the
// media component first writes the Task's trimmed segment into an AVI or MPEG file,
// which the encoder then converts. A RealMedia job starts it and hands it the
// component's conversion events while it runs; nothing here waits.
class PreConversion
{
public:
    PreConversion(TaskList& tasks, MediaConverter& media);

    // Starts writing the intermediate file of the Task and returns at once: true when the
    // component started, false (the Task failed, with the reason) when it refused.
    bool start(int taskIndex);
    // The component's progress, stored in the running Task; its speed is measured from
    // startTick() to `now` (tick counts in milliseconds).
    void onConversionProgress(double position, double total, uint32_t now = tickCount());
    uint32_t startTick() const { return m_startTick; }
    // The component finished: the Task's intermediate file is complete, or the Task
    // failed with the component's reason.
    void onConversionComplete();
    // Stops a running pre-conversion and removes its partial file.
    void cancel();

    // A number from low to high, both included, drawn anew at every call (two Tasks
    // started in the same second get different ones); low when high < low.
    static int randomNumber(int low, int high);
    // `folder` + `exportName` + "_<number>.<extension>", with the name made safe for one
    // file name and cut so that the name and the whole path stay inside the system's
    // limits.
    static QString intermediatePath(const QString& folder, const QString& exportName,
                                    const QString& extension, int number);
    // Index of the last name containing `first`, else of the last containing
    // `fallback`, else -1.
    static int chooseCompressor(const MediaCollection& names, const QString& first,
                                const QString& fallback);

private:
    TaskList& m_tasks;
    MediaConverter& m_media;
    int m_taskIndex = -1;
    uint32_t m_startTick = 0;
};
