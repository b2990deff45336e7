// What the window keeps between runs (the output folder), its caption, help, and the
// keys that must never close it.
#include "mainwindow/mainwindowtestsupport.h"

#include "common/qtprinters.h"

#include "engine/messages.h"
#include "engine/programfolder.h"
#include "mainwindow/dialogtemplate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <gtest/gtest.h>

using namespace dialog102;

namespace {
QSettings userSettings()
{
    return QSettings(QStringLiteral("Trelvo Converter"), QStringLiteral("Trelvo Converter"));
}

QString expectedDefaultFolder()
{
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    return QDir(videos).exists() ? videos : QDir::homePath();
}

// The version the build says in its top CMakeLists.txt: project(... VERSION x.y.z ...).
QString projectVersion()
{
    QFile file(QStringLiteral(TRELVO_SOURCE_DIR "/CMakeLists.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression project(QStringLiteral(R"(project\([^)]*VERSION\s+([0-9.]+))"));
    return project.match(QString::fromUtf8(file.readAll())).captured(1);
}
} // namespace

TEST(MainWindowSettings, FirstRunShowsTheDefaultFolderAndTheBuildsVersion)
{
    clearUserSettings();
    const QString version = projectVersion();
    ASSERT_TRUE(QRegularExpression(QStringLiteral(R"(^\d+(\.\d+)+$)")).match(version).hasMatch())
        << version.toStdString();
    {
        WindowFixture f;
        EXPECT_EQ(f.control<QLineEdit>(IdOutputFolder)->text(), expectedDefaultFolder());
        EXPECT_EQ(f.dlg().captionText(), "Trelvo Converter V" + version);
        EXPECT_EQ(f.dlg().windowTitle(), "Trelvo Converter V" + version);
    }
    // An empty stored version is no version.
    userSettings().setValue("Version", "");
    WindowFixture again;
    EXPECT_EQ(again.dlg().captionText(), "Trelvo Converter V" + version);
    clearUserSettings();
}

TEST(MainWindowSettings, VersionComesFromTheSettings)
{
    clearUserSettings();
    userSettings().setValue("Version", "2.5");
    WindowFixture f;
    EXPECT_EQ(f.dlg().captionText(), "Trelvo Converter V2.5");
    clearUserSettings();
}

TEST(MainWindowSettings, ChosenFolderIsStoredAtOnceAndShownAtTheNextStart)
{
    clearUserSettings();
    QTemporaryDir chosen;
    {
        WindowFixture f;
        f.dlg().setFolderChooser([&] { return chosen.path() + "/"; });
        QTest::mouseClick(f.control<QPushButton>(IdBrowse), Qt::LeftButton);
        EXPECT_EQ(f.control<QLineEdit>(IdOutputFolder)->text(), chosen.path());
        EXPECT_EQ(userSettings().value("destination").toString(), chosen.path());

        // Cancelling keeps both the edit and the stored folder.
        f.dlg().setFolderChooser([] { return QString(); });
        QTest::mouseClick(f.control<QPushButton>(IdBrowse), Qt::LeftButton);
        EXPECT_EQ(f.control<QLineEdit>(IdOutputFolder)->text(), chosen.path());
        EXPECT_EQ(userSettings().value("destination").toString(), chosen.path());
    }
    WindowFixture next;
    EXPECT_EQ(next.control<QLineEdit>(IdOutputFolder)->text(), chosen.path());
    clearUserSettings();
}

TEST(MainWindowSettings, HelpOpensTheTopOfTheBundledPage)
{
    WindowFixture f;
    QUrl opened;
    f.dlg().setUrlOpener([&](const QUrl& url) {
        opened = url;
        return true;
    });
    QTest::mouseClick(f.control<QPushButton>(IdHelp), Qt::LeftButton);
    EXPECT_TRUE(opened.isLocalFile());
    EXPECT_EQ(opened.toLocalFile(), programFolder() + "Help.html");
    EXPECT_TRUE(opened.fragment().isEmpty()) << "the top, not a section";
}

TEST(MainWindowSettings, WithoutABrowserHelpOpensInAWindowOfItsOwn)
{
    WindowFixture f;
    ASSERT_TRUE(QFile::copy(TRELVO_SOURCE_DIR "/shell/Help.html", f.root() + "Help.html"));
    int asked = 0;
    f.dlg().setUrlOpener([&](const QUrl&) {
        ++asked;
        return false;
    });
    auto* help = f.control<QPushButton>(IdHelp);
    QTest::mouseClick(help, Qt::LeftButton);
    EXPECT_EQ(asked, 1) << "a browser is tried first";
    auto* window = f.dlg().findChild<QDialog*>("helpWindow");
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    auto* browser = window->findChild<QTextBrowser*>();
    ASSERT_TRUE(browser);
    EXPECT_EQ(browser->source(), CQuenmarDlg::helpUrl());
    EXPECT_TRUE(browser->toPlainText().contains("Reporting a problem"));
    EXPECT_EQ(browser->verticalScrollBar()->value(), 0) << "at the top";

    // Help again brings the same window back.
    window->close();
    QTest::mouseClick(help, Qt::LeftButton);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(f.dlg().findChildren<QDialog*>("helpWindow").size(), 1);

    // Without the page the window says where it belongs.
    QFile::remove(f.root() + "Help.html");
    QTest::mouseClick(help, Qt::LeftButton);
    EXPECT_TRUE(browser->toPlainText().contains("missing"));
    EXPECT_TRUE(browser->toPlainText().contains(f.root() + "Help.html"));

    // A browser that starts leaves the program's own window alone.
    window->close();
    f.dlg().setUrlOpener([](const QUrl&) { return true; });
    QTest::mouseClick(help, Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
}

TEST(MainWindowSettings, EnterAndEscapeNeverCloseTheWindow)
{
    QDialog host; // before the fixture, which deletes the window first
    WindowFixture f;
    f.dlg().setParent(&host);
    f.dlg().show();
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    f.addThroughButton({"/v/a.avi"});
    const int keys[] = {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape};
    for (int id : {IdTaskList, IdTitle, IdVideoType, IdBrowse}) {
        QWidget* target = f.control(id);
        target->setFocus();
        for (int key : keys) {
            QTest::keyClick(target, Qt::Key(key));
            EXPECT_TRUE(host.isVisible()) << id << " " << key;
        }
    }
    EXPECT_EQ(host.result(), 0);
    EXPECT_EQ(f.dlg().tasks().size(), 1);
}

TEST(MainWindowSettings, TheAddDialogOpensWhereFilesCameFromLastTime)
{
    clearUserSettings();
    QTemporaryDir videos;
    const QString file = videos.path() + "/clip.avi";
    QFile(file).open(QIODevice::WriteOnly);
    {
        WindowFixture f;
        f.dlg().setFileChooser([&] { return QStringList{file}; });
        QTest::mouseClick(f.control<QPushButton>(IdAdd), Qt::LeftButton);
        ASSERT_EQ(f.dlg().tasks().size(), 1);
    }
    WindowFixture restarted;
    EXPECT_EQ(restarted.dlg().addDialogFolder(), videos.path());
    clearUserSettings();
}

TEST(MainWindowSettings, ProfileNamesAreShownWhole)
{
    WindowFixture f;
    for (int id : {IdMp4Profile, IdWmvProfile}) {
        auto* box = f.control<QComboBox>(id);
        ASSERT_GT(box->count(), 1);
        const QFontMetrics metrics(box->view()->font());
        for (int i = 0; i < box->count(); ++i)
            EXPECT_GT(box->view()->minimumWidth(), metrics.horizontalAdvance(box->itemText(i)))
                << id << " " << box->itemText(i).toStdString();
        box->setCurrentIndex(1);
        EXPECT_EQ(box->toolTip(), box->itemText(1)) << id;
    }
}

TEST(MainWindowSettings, WithoutATaskTheSettingsCanBeUsed)
{
    WindowFixture f;
    ASSERT_EQ(f.dlg().tasks().size(), 0);
    for (int id = kFirstSetting; id <= kLastSetting; ++id)
        EXPECT_TRUE(f.control(id)->isEnabled()) << id;
    EXPECT_TRUE(f.control(IdMp4Profile)->isEnabled());
    EXPECT_TRUE(f.control(IdTitle)->isEnabled());
    // A change then changes only the box.
    f.control<QComboBox>(IdVideoSize)->setCurrentIndex(1);
    EXPECT_EQ(f.dlg().tasks().size(), 0);
}

TEST(MainWindowSettings, ATitleIsNeverCutInsideACharacter)
{
    WindowFixture f;
    f.addThroughButton({"/v/clip.avi"});
    auto* title = f.control<QLineEdit>(IdTitle);
    // 254 letters and a film-frame emoji (two units) would end half-way at 255.
    title->setText(QString(254, u'a') + QString::fromUtf8("\xF0\x9F\x8E\x9E"));
    EXPECT_EQ(f.dlg().tasks().get(0).title, QString(254, u'a'));
    EXPECT_EQ(title->text(), QString(254, u'a')) << "the field shows what is kept";
}

TEST(MainWindowSettings, AMessageShowsItsWholeCaption)
{
    WindowFixture f;
    f.dlg().setMessageBox(nullptr);
    int width = 0;
    QFont bold;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        width = box->width();
        bold = box->font();
        box->accept();
    });
    f.dlg().showMessage("Done", "Information", BatchHost::MessageIcon::None);
    bold.setBold(true);
    EXPECT_GE(width, QFontMetrics(bold).horizontalAdvance("Information") + kCaptionChrome);

    // A longer text keeps its own width: the caption's never cuts it.
    const QString text = "Converting Finished: 3 converted, 1 failed";
    int labelWidth = 0, textWidth = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        auto* label = box->findChild<QLabel*>("qt_msgbox_label");
        ASSERT_TRUE(label);
        labelWidth = label->width();
        textWidth = label->fontMetrics().horizontalAdvance(text);
        box->accept();
    });
    f.dlg().showMessage(centredMessage(text), "Warning", BatchHost::MessageIcon::Warning);
    EXPECT_GE(labelWidth, textWidth);
}

TEST(MainWindowSettings, TheHelpPageTellsWhatTheProgramDoes)
{
    QFile file(TRELVO_SOURCE_DIR "/shell/Help.html");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(file.readAll()).simplified();
    // What the program does, that an older page did not say.
    for (const char* told : {"The list is kept", "Several rows are converted at once",
                             "Closing the window while converting asks first", "Ctrl</kbd>+<kbd>L",
                             "--convert", "<th>Audio</th>", "<th>Subtitles</th>",
                             "burned into the picture", "offers to make it again"})
        EXPECT_TRUE(page.contains(QLatin1String(told))) << told;
    // What it no longer does.
    for (const char* untrue :
         {"The list is not saved", "converted one after the other", "stops the conversion first"})
        EXPECT_FALSE(page.contains(QLatin1String(untrue))) << untrue;
}
