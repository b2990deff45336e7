#include "mainwindow/mainwindowtestsupport.h"

#include "engine/programfolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

const char* const WindowFixture::kThreeProfiles =
    "[Info]\nDefaultProfile=1\n"
    "[profile0]\nTitle=Custom (settings below)\nCommand0=./trelvo-encoder -i \"$INPUT_FILE\" "
    "\"$OUTPUT_FILE\"\n"
    "[profile1]\nTitle=Zune 320x240\nCommand0=./trelvo-encoder -i \"$INPUT_FILE\" "
    "\"$OUTPUT_FILE\"\n"
    "[profile2]\nTitle=Zune 640x480\nCommand0=./trelvo-encoder -i \"$INPUT_FILE\" "
    "\"$OUTPUT_FILE\"\n";

WindowFixture::WindowFixture(const char* profileText, Media media, const QString& taskListFile)
{
    QDir().mkpath(m_dir.path() + "/app");
    if (profileText) {
        QFile ini(m_dir.path() + "/app/Zune_Profile.ini");
        ini.open(QIODevice::WriteOnly);
        ini.write(profileText);
    }
    setProgramFolder(m_dir.path());
    CQuenmarDlg::Services services;
    if (media == RecordedMedia) {
        services.converter = &m_media.converter;
        services.preview = &m_media.preview;
    }
    services.taskListFile = taskListFile;
    m_dlg = std::make_unique<CQuenmarDlg>(services);
    m_dlg->setMessageBox(
        [this](const QString& text, const QString& caption, BatchHost::MessageIcon) {
            m_messages << caption + "|" + text.trimmed();
        });
    // Questions take their first answer; a test that cares sets its own.
    m_dlg->setQuestionBox([this](const QString& text, const QString& caption, const QStringList&) {
        m_questions << caption + "|" + text;
        return 0;
    });
    m_dlg->setFileChooser([] { return QStringList(); });
    m_dlg->setFolderChooser([] { return QString(); });
    m_dlg->setUrlOpener([](const QUrl&) { return true; });
    // The stand-in component reads no file: every name is taken as a video.
    if (media == RecordedMedia)
        m_dlg->setSourceChecker([](const QString&) { return QString(); });
    m_dlg->resize(669, 608);
    m_dlg->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(m_dlg.get()));
}

WindowFixture::~WindowFixture()
{
    m_dlg.reset();
    QDir::setCurrent(QDir::tempPath());
}

void WindowFixture::addThroughButton(const QStringList& paths)
{
    m_dlg->setFileChooser([paths] { return paths; });
    QTest::mouseClick(control<QPushButton>(1012), Qt::LeftButton);
    m_dlg->setFileChooser([] { return QStringList(); });
}

void clearUserSettings()
{
    QSettings settings(QStringLiteral("Trelvo Converter"), QStringLiteral("Trelvo Converter"));
    settings.clear();
    settings.sync();
}

QStringList standInSources(int count)
{
    static QTemporaryDir folder;
    QStringList list;
    for (int i = 0; i < count; ++i) {
        QFile file(folder.filePath(QStringLiteral("clip%1.avi").arg(i)));
        if (!file.exists() && file.open(QIODevice::WriteOnly))
            file.write("stand-in source");
        list << file.fileName();
    }
    return list;
}

bool eventually(const std::function<bool()>& condition, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < ms)
        QTest::qWait(20);
    return condition();
}
