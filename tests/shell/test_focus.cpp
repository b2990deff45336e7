// The keyboard user sees where the keys go: every control that Tab reaches in the
// program's window looks different while it has the focus, with the skin and without it.
#include "common/testmedia.h"
#include "engine/standins.h"
#include "mainwindow/cquenmardlg.h"
#include "shell/chostdlg.h"
#include "shell/cskinengine.h"
#include "shell/hostrig.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

class FocusIsVisible : public ::testing::TestWithParam<bool>
{
protected:
    FocusIsVisible()
    {
        if (GetParam())
            applyShippedSkin(skin);
        host = std::make_unique<CHostDlg>(skin, power);
        host->show();
        (void)QTest::qWaitForWindowActive(host.get());
    }
    ~FocusIsVisible() override
    {
        host.reset();
        skin.Invoke(CSkinEngine::Finish);
    }

    CSkinEngine skin;
    FakePower power;
    std::unique_ptr<CHostDlg> host;
};

} // namespace

TEST_P(FocusIsVisible, OnEveryControlTabReaches)
{
    ASSERT_EQ(skin.isSkinned(), GetParam());
    CQuenmarDlg* main = host->mainWindow();
    // With a Task every control can be used.
    main->AddFiles({testmedia::clip("avi")});
    main->findChild<QWidget*>(QStringLiteral("1054"))->setFocus(Qt::TabFocusReason);

    struct Look
    {
        QWidget* widget;
        QImage focused, unfocused;
    };
    std::vector<Look> looks;
    for (int i = 0; i < 60; ++i) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_TRUE(focus);
        if (!looks.empty() && focus == looks.front().widget)
            break;
        looks.push_back({focus, focus->grab().toImage(), {}});
        QTest::keyClick(focus, Qt::Key_Tab);
        looks.back().unfocused = focus->grab().toImage();
    }
    EXPECT_GE(looks.size(), 20u);
    for (const Look& look : looks) {
        EXPECT_NE(look.focused, look.unfocused) << look.widget->metaObject()->className() << " "
                                                << look.widget->objectName().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Skin, FocusIsVisible, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Skinned" : "Unskinned";
                         });
