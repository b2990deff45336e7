// The skin engine: the order of its calls through a whole run, and what missing,
// broken and good skin files do.
#include "shell/chostdlg.h"
#include "shell/cquenmarapp.h"
#include "shell/cskinengine.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

TEST(SkinEngine, CallsInTheOrderOfAWholeRun)
{
    CQuenmarApp app;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (CHostDlg::instance() && CHostDlg::instance()->isVisible())
            CHostDlg::instance()->close();
    });
    closer.start(10);
    EXPECT_EQ(app.run(), 0);

    QStringList calls;
    for (const auto& [dispid, args] : app.skin().calls()) {
        QString call = QString::number(dispid);
        for (const QVariant& arg : args)
            call += " " + arg.toString();
        calls << call;
    }
    const QStringList expected = {
        "17 0",
        "1 1",
        "2 " + CQuenmarApp::executableFolder() + "Stylish.skf", // never the working directory's
        "18",
        "5 widget:1025 1",
        "5 widget:1027 1",
        "5 widget:1029 1",
        "5 widget:1028 1",
        "5 widget:1032 1",
        "5 widget:1030 1",
        "5 widget:1026 1",
        "5 widget:1031 1",
        "5 widget:1033 1",
        "6 widget:1012 1",
        "6 widget:1013 1",
        "6 widget:1014 1",
        "6 widget:1048 1",
        "6 widget:1049 1",
        "6 widget:1054 1",
        "6 widget:1055 1",
        "6 widget:102 0", // the main window, named after its dialog template
        "7",
    };
    EXPECT_EQ(calls, expected);
}

TEST(SkinEngine, MissingOrBrokenFilesLeaveTheProgramUnskinned)
{
    QTemporaryDir dir;
    auto write = [&](const char* name, const QByteArray& text) {
        QFile file(dir.path() + "/" + name);
        file.open(QIODevice::WriteOnly);
        file.write(text);
        return file.fileName();
    };
    const struct
    {
        const char* name;
        QString file;
        bool skinned;
    } cases[] = {
        {"missing", dir.path() + "/none.skf", false},
        {"empty", write("empty.skf", ""), false},
        {"not a style sheet", write("words.skf", "this is { not } a style sheet }}}"), false},
        {"binary", write("binary.skf", QByteArray("\x00\x01\xff\xfe", 4)), false},
        {"the shipped skin", TRELVO_SOURCE_DIR "/shell/Stylish.skf", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        {
            CSkinEngine skin;
            skin.Invoke(CSkinEngine::SkinSystemDialogs, {0});
            skin.Invoke(CSkinEngine::Enable, {1});
            skin.Invoke(CSkinEngine::LoadSkin, {c.file});
            skin.Invoke(CSkinEngine::Apply);
            EXPECT_EQ(skin.isSkinned(), c.skinned);
            EXPECT_EQ(qApp->styleSheet().isEmpty(), !c.skinned);

            QComboBox combo;
            skin.Invoke(CSkinEngine::SkinComboBox, {QVariant::fromValue<QObject*>(&combo), 1});
            EXPECT_EQ(combo.property(CSkinEngine::kProperty).toString(), "combo");
            skin.Invoke(CSkinEngine::Finish);
            EXPECT_TRUE(qApp->styleSheet().isEmpty());
            EXPECT_FALSE(combo.property(CSkinEngine::kProperty).isValid());
        }
    }
}

TEST(SkinEngine, SwitchedOffItAppliesNothing)
{
    CSkinEngine skin;
    skin.Invoke(CSkinEngine::Enable, {0});
    skin.Invoke(CSkinEngine::LoadSkin, {QStringLiteral(TRELVO_SOURCE_DIR "/shell/Stylish.skf")});
    skin.Invoke(CSkinEngine::Apply);
    EXPECT_FALSE(skin.isSkinned());
    EXPECT_TRUE(qApp->styleSheet().isEmpty());
}
