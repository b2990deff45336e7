// The main window right after start-up, for several profile files and WMV profile lists.
#include "mainwindow/mainwindowtestsupport.h"

#include "mainwindow/dialogtemplate.h"
#include "mainwindow/taskcells.h"
#include "widgets/cfadepicture.h"
#include "widgets/cimagebutton.h"
#include "widgets/crangeslider.h"
#include "widgets/ctasklistctrl.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <QComboBox>
#include <QCoreApplication>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <gtest/gtest.h>

using namespace dialog102;

namespace {

struct ProfileCase
{
    const char* name;
    const char* file; // null: no file
    QStringList items;
};

QStringList itemsOf(QComboBox* combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

} // namespace

TEST(MainWindowStartup, StateForEveryKindOfProfileFile)
{
    const ProfileCase cases[] = {
        {"three profiles",
         WindowFixture::kThreeProfiles,
         {"Custom (settings below)", "Zune 320x240", "Zune 640x480"}},
        {"empty file", "", {}},
        {"missing file", nullptr, {}},
        {"[Info] without keys", "[Info]\n[profile0]\nTitle=A\nCommand0=x\n", {}},
    };
    for (const ProfileCase& c : cases) {
        SCOPED_TRACE(c.name);
        WindowFixture f(c.file);
        CQuenmarDlg& dlg = f.dlg();
        auto* combo1024 = f.control<QComboBox>(IdMp4Profile);
        EXPECT_EQ(itemsOf(combo1024), c.items);
        EXPECT_EQ(combo1024->currentIndex(), c.items.isEmpty() ? -1 : 0);
        EXPECT_TRUE(f.messages().isEmpty());

        EXPECT_EQ(dlg.tasks().size(), 0);
        EXPECT_EQ(dlg.selectedTaskIndex(), -1);
        EXPECT_EQ(dlg.exportMode(), 0);
        EXPECT_TRUE(f.control<QRadioButton>(IdExportMp4)->isChecked());
        EXPECT_FALSE(f.control<QRadioButton>(IdExportWmv)->isChecked());
        EXPECT_EQ(f.control<QComboBox>(IdWmvProfile)->currentIndex(), 0);

        auto visible = [&](int id) { return f.control(id)->isVisibleTo(&dlg); };
        EXPECT_FALSE(visible(IdTitle));
        EXPECT_FALSE(visible(IdTitleLabel));
        EXPECT_TRUE(visible(IdStart));
        EXPECT_FALSE(visible(IdStop));
        EXPECT_FALSE(visible(IdMediaComponent));
        EXPECT_TRUE(visible(IdFadePicture));
        EXPECT_TRUE(visible(IdMp4Profile));
        EXPECT_TRUE(visible(IdMp4ProfileLabel));
        EXPECT_FALSE(visible(IdWmvProfile));
        EXPECT_FALSE(visible(IdWmvProfileLabel));

        for (int id = kFirstSetting; id <= kLastSetting; ++id) {
            auto* setting = f.control<QComboBox>(id);
            EXPECT_EQ(setting->currentIndex(), settingResetItem(id)) << id;
            EXPECT_TRUE(setting->isEnabled()) << id; // usable: a change changes only the box
        }
        auto* slider = f.control<CRangeSlider>(IdRangeSlider);
        EXPECT_EQ(slider->GetMin(), 0.0);
        EXPECT_EQ(slider->GetMax(), 120.0);
        EXPECT_EQ(slider->GetSelection(), std::make_pair(0.0, 120.0));
        EXPECT_FALSE(f.control<QLineEdit>(IdOutputFolder)->isEnabled());
    }
}

TEST(MainWindowStartup, WmvProfilesSkipBlankDescriptionsAndLeadingSpace)
{
    const struct
    {
        QStringList descriptions;
        QStringList items;
        int selected;
    } cases[] = {
        {{"  High", "   ", "\tLow"}, {"High", "Low"}, 0},
        {{"", "Only"}, {"Only"}, 0},
        {{}, {}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.descriptions.join('|').toStdString());
        QTemporaryDir dir;
        FakeMedia media;
        media.wmvDescriptions = c.descriptions;
        CQuenmarDlg::Services services;
        services.converter = &media.converter;
        services.preview = &media.preview;
        CQuenmarDlg dlg(services);
        auto* combo = dlg.findChild<QComboBox*>("1050");
        EXPECT_EQ(itemsOf(combo), c.items);
        EXPECT_EQ(combo->currentIndex(), c.selected);
    }
}

TEST(MainWindowStartup, EveryControlAtItsRectangleWithItsId)
{
    WindowFixture f;
    for (const Control& control : controls()) {
        QWidget* widget = f.control(control.id);
        ASSERT_NE(widget, nullptr) << control.id;
        EXPECT_EQ(widget->geometry(), control.rect) << control.id;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text(), control.caption) << control.id;
        }
    }
    // The title row has a place of its own: it overlaps no other control but its frame.
    for (int id : {IdTitle, IdTitleLabel}) {
        for (const Control& other : controls()) {
            if (other.id != IdTitle && other.id != IdTitleLabel && other.id != IdFootFrame) {
                EXPECT_FALSE(rectOf(id).intersects(other.rect)) << id << " and " << other.id;
            }
        }
    }
}

TEST(MainWindowStartup, ListColumnsAndButtonTips)
{
    WindowFixture f;
    auto* list = f.control<CTaskListCtrl>(IdTaskList);
    const struct
    {
        const char* heading;
        Qt::Alignment alignment;
    } columns[] = {{"Source", Qt::AlignLeft},
                   {"Begin Time", Qt::AlignHCenter},
                   {"End Time", Qt::AlignHCenter},
                   {"Export", Qt::AlignLeft},
                   {"Progress", Qt::AlignLeft}};
    ASSERT_EQ(list->GetColumnCount(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(list->header()->model()->headerData(i, Qt::Horizontal).toString(),
                  columns[i].heading);
        EXPECT_EQ(list->GetColumnAlignment(i) & Qt::AlignHorizontal_Mask, columns[i].alignment);
    }
    EXPECT_TRUE(list->GetExtendedStyle() & CTaskListCtrl::ExFullRowSelect);
    EXPECT_FALSE(list->GetExtendedStyle() & CTaskListCtrl::ExGridLines);

    const std::pair<int, const char*> tips[] = {
        {IdAdd, "Add a video to converting task"},
        {IdRemove, "Remove selected video"},
        {IdRemoveAll, "Remove all videos"},
        {IdStart, "Start Converting"},
        {IdStop, "Stop Converting"},
        {IdPlay, "Preview selected videos"},
        {IdStopPreview, "Stop preview"},
    };
    for (const auto& [id, tip] : tips) {
        auto* button = f.control<CImageButton>(id);
        EXPECT_EQ(button->toolTip(), tip) << id;
        EXPECT_TRUE(button->hasImages()) << id;
    }
}

TEST(MainWindowStartup, ProgressAndTimesAreReadableWithoutScrolling)
{
    WindowFixture f;
    f.dlg().resize(f.dlg().sizeHint().expandedTo(QSize(669, 608)));
    f.dlg().show();
    auto* list = f.control<CTaskListCtrl>(IdTaskList);
    QCoreApplication::processEvents();
    const QFontMetrics metrics(list->font());
    auto fits = [&](int column, const QString& text, int margins) {
        return metrics.horizontalAdvance(text) + margins <= list->GetColumnWidth(column);
    };
    // The bar's frame and edges take 7 pixels of the cell.
    EXPECT_TRUE(fits(ColumnProgress, "    45.20%  12.34MB   Remain Time:00:01:23", 7))
        << list->GetColumnWidth(ColumnProgress);
    EXPECT_TRUE(fits(ColumnProgress, "    100.00%  999.99MB   Remain Time:00:00:00", 7));
    EXPECT_TRUE(fits(ColumnBegin, "Begin Time", 8));
    EXPECT_TRUE(fits(ColumnEnd, "00:00:00.0", 4)); // a trim shows its tenths
    EXPECT_GE(list->GetColumnWidth(ColumnSource), 75);
    EXPECT_GE(list->GetColumnWidth(ColumnExport), 75);

    // No horizontal scroll bar, empty or with more rows than fit.
    EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);
    EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
    QStringList paths;
    for (int i = 0; i < 20; ++i)
        paths << f.root() + QString("clip%1.avi").arg(i);
    f.addThroughButton(paths);
    QCoreApplication::processEvents();
    EXPECT_TRUE(list->verticalScrollBar()->isVisible());
    EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);
    EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
}

// Every WMV profile reads whole in the closed box at the window's own size.
TEST(MainWindowStartup, EveryWmvProfileReadsWholeInItsClosedBox)
{
    WindowFixture f(WindowFixture::kThreeProfiles, WindowFixture::OwnMedia);
    f.dlg().show();
    auto* box = f.control<QComboBox>(IdWmvProfile);
    QStyleOptionComboBox option;
    option.initFrom(box);
    const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                     QStyle::SC_ComboBoxEditField, box);
    ASSERT_GT(box->count(), 1);
    for (int i = 0; i < box->count(); ++i)
        EXPECT_LE(QFontMetrics(box->font()).horizontalAdvance(box->itemText(i)), field.width())
            << box->itemText(i).toStdString();
}
