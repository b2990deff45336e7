// Every text the skinned program shows can be read: message boxes and file dialogs that
// open under the main window keep readable colours, and so do the skinned controls.
#include "common/contrast.h"
#include "common/testmedia.h"
#include "engine/standins.h"
#include "mainwindow/cquenmardlg.h"
#include "shell/chostdlg.h"
#include "shell/cskinengine.h"
#include "shell/hostrig.h"
#include "shell/shutdowncountdown.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Anti-aliased strokes never reach the text's full colour: the brightest pixel of a
// thin face must still stand out, with room to spare.
constexpr double kReadableWithMargin = contrast::kReadable + 0.5;

// Text as drawn in `rect` of `drawn`: its commonest colour is the background, and the
// text's best contrast is that of the pixel that stands out most from it.
struct Drawn
{
    QRgb back = 0;
    double best = 1.0;
};
Drawn measure(const QImage& drawn, const QRect& rect)
{
    QHash<QRgb, int> counts;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            ++counts[drawn.pixel(x, y)];
    Drawn result;
    result.back = counts.begin().key();
    for (auto it = counts.begin(); it != counts.end(); ++it)
        if (it.value() > counts.value(result.back))
            result.back = it.key();
    for (auto it = counts.begin(); it != counts.end(); ++it)
        result.best = std::max(result.best, contrast::ratio(QColor(it.key()), QColor(result.back)));
    return result;
}

class SkinnedWindow : public ::testing::Test
{
protected:
    SkinnedWindow()
    {
        applyShippedSkin(skin);
        host = std::make_unique<CHostDlg>(skin, power);
        host->show();
    }
    ~SkinnedWindow() override
    {
        host.reset();
        skin.Invoke(CSkinEngine::Finish);
    }

    // The text of every label, field, list and button in `dialog` against what it is
    // drawn on.
    static void expectReadable(QWidget* dialog)
    {
        ASSERT_TRUE(dialog->isWindow());
        dialog->show();
        QCoreApplication::processEvents();
        const QColor window = dialog->palette().color(QPalette::Window);
        int judged = 0;
        for (QWidget* w : dialog->findChildren<QWidget*>()) {
            // Greyed controls are exempt: they say they cannot be used.
            if (!w->isVisible() || !w->isEnabled())
                continue;
            w->ensurePolished();
            const QPalette p = w->palette();
            QColor text, back;
            if (qobject_cast<QLabel*>(w)) {
                text = p.color(w->foregroundRole());
                back = w->autoFillBackground() ? p.color(w->backgroundRole()) : window;
            } else if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractItemView*>(w)) {
                text = p.color(QPalette::Text);
                back = p.color(QPalette::Base);
            } else if (qobject_cast<QPushButton*>(w) || qobject_cast<QComboBox*>(w)) {
                text = p.color(QPalette::ButtonText);
                back = p.color(QPalette::Button);
            } else {
                continue;
            }
            ++judged;
            EXPECT_GE(contrast::ratio(text, back), contrast::kReadable)
                << w->metaObject()->className() << " " << w->objectName().toStdString() << " "
                << text.name().toStdString() << " on " << back.name().toStdString();
        }
        EXPECT_GT(judged, 2);
    }

    // Opens `combo` (its items in `family`, unless empty) and measures each item as
    // drawn: its commonest colour is its background, and its text must stand out.
    static void expectItemsReadable(QComboBox* combo, const char* family)
    {
        ASSERT_TRUE(combo);
        ASSERT_GT(combo->count(), 1);
        QAbstractItemView* view = combo->view();
        const QFont own = combo->font();
        if (*family) {
            QFont font = own;
            font.setFamilies({family});
            combo->setFont(font);
            view->setFont(font);
        }
        combo->showPopup();
        ASSERT_TRUE(view->isVisible());
        // One item is current, another under the mouse, the rest plain.
        const int hovered = combo->currentIndex() == 0 ? 1 : 0;
        QTest::mouseMove(view->viewport(),
                         view->visualRect(view->model()->index(hovered, 0)).center());
        QCoreApplication::processEvents();
        const QImage drawn = view->viewport()->grab().toImage();
        for (int row = 0; row < combo->count(); ++row) {
            const QRect rect =
                view->visualRect(view->model()->index(row, 0)).intersected(drawn.rect());
            if (rect.isEmpty())
                continue;
            const Drawn item = measure(drawn, rect);
            EXPECT_GE(item.best, kReadableWithMargin)
                << combo->objectName().toStdString() << " item " << row << " on "
                << QColor(item.back).name().toStdString();
        }
        combo->hidePopup();
        combo->setFont(own);
        view->setFont(own);
    }

    CSkinEngine skin;
    FakePower power;
    std::unique_ptr<CHostDlg> host;
};

} // namespace

TEST_F(SkinnedWindow, MessageBoxesAndFileDialogsUnderTheWindowStayReadable)
{
    ASSERT_TRUE(skin.isSkinned());
    QWidget* main = host->mainWindow();
    {
        QMessageBox box(QMessageBox::Warning, "Warning",
                        "Converting Finished: 4 converted, 1 failed", QMessageBox::Ok, main);
        SCOPED_TRACE("message box");
        expectReadable(&box);
    }
    {
        host->shutdownCountdown().powerOff([](PowerControl::Outcome) {});
        SCOPED_TRACE("shutdown countdown");
        expectReadable(host->shutdownCountdown().dialog());
        host->shutdownCountdown().cancel();
    }
    for (const auto mode : {QFileDialog::ExistingFiles, QFileDialog::Directory}) {
        QFileDialog dialog(main);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setFileMode(mode);
        SCOPED_TRACE(mode == QFileDialog::Directory ? "folder dialog" : "file dialog");
        expectReadable(&dialog);
        QStringList labels;
        for (QLabel* label : dialog.findChildren<QLabel*>())
            labels << label->text().remove('&');
        EXPECT_TRUE(labels.contains("Look in:")) << labels.join('|').toStdString();
        EXPECT_TRUE(labels.contains("Files of type:")) << labels.join('|').toStdString();
    }
}

TEST_F(SkinnedWindow, TheWindowsOwnControlsStaySkinnedAndReadable)
{
    QWidget* main = host->mainWindow();
    // Skinned: the texts stand light on the dark picture.
    auto* label = main->findChild<QLabel*>(QString::number(1037));
    ASSERT_TRUE(label);
    EXPECT_EQ(label->property(CSkinEngine::kProperty).toString(), "window");
    EXPECT_EQ(label->palette().color(label->foregroundRole()), QColor("#ece8ff"));
    EXPECT_GE(contrast::ratio(QColor("#ece8ff"), QColor("#28215f")), contrast::kReadable);
    // The combo boxes keep their own look and the window's; with a Task they can be used.
    host->mainWindow()->AddFiles({testmedia::clip("avi")});
    auto* combo = main->findChild<QComboBox*>(QString::number(1025));
    ASSERT_TRUE(combo);
    EXPECT_EQ(combo->property(CSkinEngine::kProperty).toString(), "combo");
    EXPECT_GE(contrast::ratio(combo->palette().color(QPalette::ButtonText), QColor("#2d2275")),
              contrast::kReadable);
    // The list's header, as drawn: its commonest colour is the background, and some of
    // its text must stand out from it.
    auto* header = main->findChild<QHeaderView*>();
    ASSERT_TRUE(header);
    EXPECT_EQ(header->property(CSkinEngine::kProperty).toString(), "window");
    const QImage image = header->grab().toImage();
    const Drawn drawn = measure(image, image.rect());
    EXPECT_GE(drawn.best, contrast::kReadable) << QColor(drawn.back).name().toStdString();
    // The skin's dark header, not the system's.
    EXPECT_LT(contrast::luminance(QColor(drawn.back)), 0.2);
}

// Under the window's own face and under the faces a desktop may put in its place, thin
// strokes included: the colours must hold for whichever draws the text.
TEST_F(SkinnedWindow, EveryItemOfAnOpenDropDownListCanBeRead)
{
    QWidget* main = host->mainWindow();
    host->mainWindow()->AddFiles({testmedia::clip("avi")});
    host->mainWindow()->findChild<QRadioButton*>(QStringLiteral("1064"))->click();
    int faces = 0;
    for (const char* family : {"", "DejaVu Sans", "Liberation Sans", "Nimbus Sans", "Noto Sans"}) {
        if (*family && !QFontDatabase::hasFamily(family))
            continue;
        ++faces;
        SCOPED_TRACE(*family ? family : "the window's own");
        // A settings box and a profile box, each skinned its own way.
        for (const char* id : {"1030", "1050"})
            expectItemsReadable(main->findChild<QComboBox*>(id), family);
    }
    EXPECT_GE(faces, 2);
}
