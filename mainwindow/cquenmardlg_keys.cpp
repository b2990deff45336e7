// The window for the keyboard and for screen readers: the order Tab takes, and what
// each control is called. The list's own keys are the Task list part's.
#include "mainwindow/cquenmardlg.h"

#include "mainwindow/dialogtemplate.h"

#include <QLabel>

#include <iterator>
#include <utility>

using namespace dialog102;

void CQuenmarDlg::orderTabStops()
{
    // As the eye reads the window: the preview column, the settings row by row, the
    // folder, the list with its buttons, and the foot; the title and the subtitles are
    // settings of the Task and follow the others, though they have their place at the
    // foot. Of each pair that shares a place (the profiles, Start and Stop) only the
    // shown one is reached, as Qt passes over hidden and disabled controls; of the
    // export radio buttons, the chosen one.
    const int order[] = {
        // clang-format off
        IdPlay, IdStopPreview, IdRangeSlider,
        IdExportMp4, IdExportWmv, IdMp4Profile, IdWmvProfile,
        IdAudioBitrate, IdChannels, IdSampleRate, IdVolume, IdAspect, IdAudioTrack,
        IdVideoType, IdVideoSize, IdFrameRate, IdVideoBitrate,
        IdTitle, IdSubtitles, IdShutDown,
        IdOutputFolder, IdBrowse, IdTaskList, IdAdd, IdRemove, IdRemoveAll,
        IdHelp, IdStart, IdStop,
        // clang-format on
    };
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(control(order[i - 1]), control(order[i]));
}

void CQuenmarDlg::nameControls()
{
    // The image buttons show no text, the list and the slider no label: a screen reader
    // has only these names to say. Their tooltips become the longer descriptions.
    const std::pair<int, const char*> names[] = {
        {IdAdd, "Add"},
        {IdRemove, "Remove"},
        {IdRemoveAll, "Remove all"},
        {IdStart, "Start converting"},
        {IdStop, "Stop converting"},
        {IdPlay, "Play preview"},
        {IdStopPreview, "Stop preview"},
        {IdTaskList, "Task list"},
        {IdRangeSlider, "Trim range"},
    };
    for (const auto& [id, name] : names)
        control(id)->setAccessibleName(QString::fromLatin1(name));

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
        auto* label = qobject_cast<QLabel*>(control(labelId));
        QWidget* field = control(fieldId);
        if (label && field)
            label->setBuddy(field);
    }
}
