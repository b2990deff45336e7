#pragma once

// A recording media component and a main window on a temporary program folder.

#include "common/nullmediacomponent.h"
#include "cquenmardlg.h"

#include <QComboBox>
#include <QHash>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

#include <memory>

class RecordingMedia : public NullMediaComponent
{
    Q_OBJECT
public:
    QStringList wmvDescriptions{"Zune WMV 320x240", "Zune WMV 640x480", "Zune WMV audio"};
    QHash<QString, double> durations; // by path; missing paths last `defaultDuration`
    double defaultDuration = 60.0;
    bool completeConversions = false; // false: a WMV conversion runs until stopped
    QStringList log;
    int durationCalls = 0;

    MediaCollection WmvProfiles() const override { return MediaCollection(wmvDescriptions); }
    void SetColorDepth(short bits) override { log << QStringLiteral("ColorDepth %1").arg(bits); }
    bool ConvertToFile(const QString& path) override;
    double GetDuration(const QString& path) override
    {
        ++durationCalls;
        return durations.value(path, defaultDuration);
    }
    bool Play() override
    {
        log << QStringLiteral("Play");
        return true;
    }
    bool AddAudioSegment(const QString& path, double start, double second) override
    {
        log << QStringLiteral("Audio %1 %2 %3").arg(path).arg(start).arg(second);
        return true;
    }
    bool AddVideoSegment(const QString& path, double start, double second, short) override
    {
        log << QStringLiteral("Video %1 %2 %3").arg(path).arg(start).arg(second);
        return true;
    }
    void Reset() override { log << QStringLiteral("Reset"); }
    void StopConversion() override { log << QStringLiteral("StopConversion"); }
    void StopPlay() override { log << QStringLiteral("StopPlay"); }
    void ShowStill(const QString& path, double time) override
    {
        log << QStringLiteral("Still %1 %2").arg(path).arg(time);
    }
    void ClearPicture() override { log << QStringLiteral("ClearPicture"); }

    // The log lines that start with `prefix`.
    QStringList entries(const QString& prefix) const;
};

// A program folder with app/Zune_Profile.ini of the given text (no file when null),
// and a main window on it with a recording media component and no message boxes. With
// OwnMedia the window uses its own preview engine instead, which reads real files.
class WindowFixture
{
public:
    static const char* const kThreeProfiles;
    enum Media
    {
        RecordedMedia,
        OwnMedia
    };

    // With a taskListFile the window keeps its Task list there, as the program does.
    explicit WindowFixture(const char* profileText = kThreeProfiles, Media media = RecordedMedia,
                           const QString& taskListFile = {});
    ~WindowFixture();

    CQuenmarDlg& dlg() { return *m_dlg; }
    RecordingMedia& media() { return m_media; }
    QStringList& messages() { return m_messages; }
    template <typename W = QWidget> W* control(int id) const
    {
        return m_dlg->findChild<W*>(QString::number(id));
    }
    // Adds Tasks for the paths through the add button.
    void addThroughButton(const QStringList& paths);
    QString root() const { return m_dir.path() + "/"; }

private:
    QTemporaryDir m_dir;
    RecordingMedia m_media;
    QStringList m_messages;
    std::unique_ptr<CQuenmarDlg> m_dlg;
};

// Turns the event loop until `condition` holds or `ms` have passed; returns the condition.
// (Qt Test's QTRY macros only return from a failing GoogleTest test, which then passes.)
bool eventually(const std::function<bool()>& condition, int ms);

// Settings (the output folder, the version) are kept in a temporary folder for the
// whole test program; this clears them.
void clearUserSettings();

// Files that exist (a batch refuses missing ones before it starts a conversion), `count`
// of them in a folder of the test program's own; the recording component reads none.
QStringList standInSources(int count);
