#pragma once

#include "batchhost.h"
#include "batchstate.h"
#include "encoderrunner.h"
#include "mediacomponent.h"
#include "task.h"

#include <QObject>

#include <functional>

// Converts the whole Task list in order when the user presses Start: MP4 Tasks through
// the encoder (RealMedia sources pre-converted by the media component first), WMV Tasks
// through the media component. Runs on the user-interface thread; every wait keeps the
// event loop turning, so Stop and the other handlers run inside it.
class BatchDriver : public QObject
{
    Q_OBJECT
public:
    // The pre-conversion of a RealMedia Task, provided by the media side: `run` returns
    // when the intermediate file is complete, the stop flag is set, or it cannot start;
    // `wake` makes a waiting `run` look at the stop flag.
    struct PreConversionHooks
    {
        std::function<void(int taskIndex)> run;
        std::function<void()> wake;
    };

    BatchDriver(TaskList& tasks, BatchState& batch, MediaComponent& media, BatchHost& host,
                PowerControl& power, QObject* parent = nullptr);

    void setPreConversion(PreConversionHooks hooks) { m_preConversion = std::move(hooks); }
    void setAppFolder(const QString& folder) { m_appFolder = folder; }

    bool converting() const { return m_converting; }
    bool stoppedByUser() const { return m_batch.stopFlag; }
    EncoderRunner& runner() { return m_runner; }
    QString outputPath() const { return m_outputPath; }

    void startConverting();
    void stopConverting();
    void shutDownComputer();

signals:
    void batchStarted();
    void batchFinished();

private:
    // How many names are tried when other runs keep taking the chosen one first.
    static constexpr int kNameAttempts = 100;

    bool checkSource(int index);
    void warnWhenShort(int index);
    void convertWmv(int index);
    void convertMp4(int index);
    void waitForWmv();
    void markFailed(int index, const QString& reason);
    void redrawProgress(int row) { m_host.redrawCell(row, 4); }
    void message(const QString& text, const QString& caption,
                 BatchHost::MessageIcon icon = BatchHost::MessageIcon::None);

    TaskList& m_tasks;
    BatchState& m_batch;
    MediaComponent& m_media;
    BatchHost& m_host;
    PowerControl& m_power;
    EncoderRunner m_runner;
    PreConversionHooks m_preConversion;
    QString m_appFolder;
    QString m_outputPath;
    bool m_converting = false;
    QEventLoop* m_wmvLoop = nullptr;
};
