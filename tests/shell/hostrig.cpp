#include "shell/hostrig.h"

#include "common/testmedia.h"
#include "engine/programfolder.h"
#include "mainwindow/cquenmardlg.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

bool waitUntil(const std::function<bool()>& condition, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return condition();
}

void applyShippedSkin(CSkinEngine& skin)
{
    skin.Invoke(CSkinEngine::SkinSystemDialogs, {0});
    skin.Invoke(CSkinEngine::Enable, {1});
    skin.Invoke(CSkinEngine::LoadSkin, {QStringLiteral(TRELVO_SOURCE_DIR "/shell/Stylish.skf")});
    skin.Invoke(CSkinEngine::Apply);
}

HostRig::HostRig()
{
    app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    setProgramFolder(app.path(""));
    host = std::make_unique<CHostDlg>(skin, power);
    main().setMessageBox(
        [this](const QString& text, const QString& caption, BatchHost::MessageIcon icon) {
            messages << caption + "|" + text.trimmed();
            icons << icon;
        });
    main().findChild<QLineEdit*>("1021")->setText(app.out());
    // Start again over converted work: the user converts it all again.
    main().setQuestionBox([](const QString&, const QString&, const QStringList& buttons) {
        return int(buttons.indexOf("Convert All Again"));
    });
    host->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(host.get()));
}

HostRig::~HostRig()
{
    host.reset();
}

CQuenmarDlg& HostRig::main() const
{
    return *host->mainWindow();
}

QString HostRig::addSource(const QString& name)
{
    // The stand-in encoder reads nothing, but the batch checks that the source is media.
    const QString source = app.path(name);
    EXPECT_TRUE(QFile::copy(testmedia::clip("avi"), source));
    main().AddFiles({source});
    return source;
}

void HostRig::tickShutdown()
{
    main().findChild<QCheckBox*>("1059")->setChecked(true);
}

void HostRig::runBatch()
{
    QTest::mouseClick(main().findChild<QPushButton*>("1048"), Qt::LeftButton);
    EXPECT_TRUE(waitUntil([this] { return !main().converting(); }));
}
