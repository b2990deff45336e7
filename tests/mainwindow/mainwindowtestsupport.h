#pragma once

// A main window on a temporary program folder, with a stand-in media component.

#include "common/fakemedia.h"
#include "mainwindow/cquenmardlg.h"

#include <QComboBox>
#include <QHash>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

#include <memory>

// A program folder with app/Zune_Profile.ini of the given text (no file when null),
// and a main window on it with a stand-in media component and no message boxes. With
// OwnMedia the window uses its own engines instead, which reads real files.
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
    FakeMedia& media() { return m_media; }
    QStringList& messages() { return m_messages; }
    QStringList& questions() { return m_questions; }
    template <typename W = QWidget> W* control(int id) const
    {
        return m_dlg->findChild<W*>(QString::number(id));
    }
    // Adds Tasks for the paths through the add button.
    void addThroughButton(const QStringList& paths);
    QString root() const { return m_dir.path() + "/"; }

private:
    QTemporaryDir m_dir;
    FakeMedia m_media;
    QStringList m_messages;
    QStringList m_questions;
    std::unique_ptr<CQuenmarDlg> m_dlg;
};

// Turns the event loop until `condition` holds or `ms` have passed; returns the condition.
// (Qt Test's QTRY macros only return from a failing GoogleTest test, which then passes.)
bool eventually(const std::function<bool()>& condition, int ms);

// Settings (the output folder, the version) are kept in a temporary folder for the
// whole test program; this clears them.
void clearUserSettings();

// Files that exist (a batch refuses missing ones before it starts a conversion), `count`
// of them in a folder of the test program's own; the stand-in component reads none.
QStringList standInSources(int count);
