// The window for the keyboard and for screen readers: the order Tab takes, and what
// each control is called. The list's own keys are handled with the other keys in
// PreTranslateMessage.
#include "cquenmardlg.h"

#include "cimagebutton.h"
#include "crangeslider.h"
#include "ctasklistctrl.h"
#include "dialogtemplate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <iterator>
#include <utility>

using namespace dialog102;

void CQuenmarDlg::orderTabStops()
{
    // As the eye reads the window: the preview column, the settings row by row, the
    // folder, the list with its buttons, and the foot; the title is a setting of the
    // Task and follows the others, though it has its place at the foot. Of each pair
    // that shares a place (the profiles, Start and Stop) only the shown one is reached,
    // as Qt passes over hidden and disabled controls; of the export radio buttons, the
    // checked one.
    QWidget* const order[] = {
        m_play,
        m_stopPreview,
        m_slider,
        m_exportMp4,
        m_exportWmv,
        m_mp4Profile,
        m_wmvProfile,
        setting(IdAudioBitrate),
        setting(IdChannels),
        setting(IdSampleRate),
        setting(IdVolume),
        setting(IdAspect),
        setting(IdVideoType),
        setting(IdVideoSize),
        setting(IdFrameRate),
        setting(IdVideoBitrate),
        m_titleEdit,
        m_shutDown,
        m_folderEdit,
        m_browse,
        m_list,
        m_add,
        m_remove,
        m_removeAll,
        m_help,
        m_start,
        m_stop,
        m_audioTrack,
        m_subtitles,
    };
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void CQuenmarDlg::nameControls()
{
    // The image buttons show no text, the list and the slider no label: a screen reader
    // has only these names to say. Their tooltips become the longer descriptions.
    const std::pair<QWidget*, const char*> names[] = {
        {m_add, "Add"},
        {m_remove, "Remove"},
        {m_removeAll, "Remove all"},
        {m_start, "Start converting"},
        {m_stop, "Stop converting"},
        {m_play, "Play preview"},
        {m_stopPreview, "Stop preview"},
        {m_list, "Task list"},
        {m_slider, "Trim range"},
    };
    for (const auto& [widget, name] : names)
        widget->setAccessibleName(QString::fromLatin1(name));

    // Every other field is named by the label in front of it.
    const std::pair<int, int> labelled[] = {
        {IdOutputFolderLabel, IdOutputFolder},
        {IdTitleLabel, IdTitle},
        {IdMp4ProfileLabel, IdMp4Profile},
        {IdWmvProfileLabel, IdWmvProfile},
        {1040, IdAudioBitrate},
        {1045, IdChannels},
        {1041, IdSampleRate},
        {1042, IdVolume},
        {1039, IdAspect},
        {1037, IdVideoType},
        {1043, IdVideoSize},
        {1038, IdFrameRate},
        {1044, IdVideoBitrate},
    };
    for (const auto& [labelId, fieldId] : labelled) {
        auto* label = findChild<QLabel*>(QString::number(labelId), Qt::FindDirectChildrenOnly);
        auto* field = findChild<QWidget*>(QString::number(fieldId), Qt::FindDirectChildrenOnly);
        if (label && field)
            label->setBuddy(field);
    }
}
