#pragma once

#include "batchstate.h"
#include "mediacomponent.h"
#include "task.h"

#include <QObject>
#include <functional>

class QEventLoop;

// The RealMedia pre-conversion of a Task (the encoder does not read RealMedia: the
// media component first writes the Task's segment into an AVI or MPEG file) and the
// handlers of the component's two conversion events, which also serve WMV export.
// The constructor connects the handlers to the component's events.
class PreConversion : public QObject
{
    Q_OBJECT
public:
    PreConversion(TaskList& tasks, BatchState& batch, MediaComponent& media,
                  std::function<void(int row)> redrawProgress, QObject* parent = nullptr);

    // Returns when the intermediate file is complete, the stop flag is set, or the
    // component refuses to start. The caller tests the stop flag afterwards.
    void preConvert(int taskIndex);
    void onConversionProgress(double position, double total);
    void onConversionComplete();
    // Makes a waiting preConvert look at the stop flag now.
    void wake();

    // low + r * (high - low + 1) / 32767 for one draw r in 0..32767, freshly seeded
    // from the time in seconds; low when high < low.
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
    BatchState& m_batch;
    MediaComponent& m_media;
    std::function<void(int)> m_redrawProgress;
    QEventLoop* m_wait = nullptr;
};
