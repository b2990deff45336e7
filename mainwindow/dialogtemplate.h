#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QWidget>

// The main window's fixed layout and texts: every control by id with its pixel
// rectangle and caption, the items of the settings combo boxes, and the file filters
// of the add dialog.
namespace dialog102 {

enum ControlId
{
    IdTaskList = 1011,
    IdAdd = 1012,
    IdRemove = 1013,
    IdRemoveAll = 1014,
    IdHelp = 1016,
    IdOutputFolder = 1021,
    IdBrowse = 1022,
    IdTitle = 1023,
    IdMp4Profile = 1024,
    IdVideoType = 1025,
    IdVideoSize = 1026,
    IdFrameRate = 1027,
    IdVideoBitrate = 1028,
    IdAspect = 1029,
    IdAudioBitrate = 1030,
    IdChannels = 1031,
    IdSampleRate = 1032,
    IdVolume = 1033,
    IdOutputFolderLabel = 1034,
    IdTitleLabel = 1035,
    IdMp4ProfileLabel = 1036,
    IdWmvProfileLabel = 1046,
    IdRangeSlider = 1047,
    IdStart = 1048,
    IdStop = 1049,
    IdWmvProfile = 1050,
    IdSettingsFrame = 1052,
    IdMediaComponent = 1053,
    IdPlay = 1054,
    IdStopPreview = 1055,
    IdListFrame = 1056,
    IdFadePicture = 1058,
    IdShutDown = 1059,
    IdExportMp4 = 1063,
    IdExportWmv = 1064,
    IdExportTypeLabel = 1065,
    // The program's own: the sound track and the subtitles of the selected Task.
    IdAudioTrackLabel = 1070,
    IdAudioTrack = 1071,
    IdSubtitlesLabel = 1072,
    IdSubtitles = 1073,
    // The program's own: how far a running batch has come as a whole, under the list.
    IdBatchProgress = 1074,
    IdFootFrame = 1076,
};

// The settings combo boxes run from 1025 to 1033.
constexpr int kFirstSetting = IdVideoType;
constexpr int kLastSetting = IdVolume;
constexpr int kSettingCount = kLastSetting - kFirstSetting + 1;

struct Control
{
    int id;
    QRect rect;
    QString caption; // empty for controls without text
};

// Every control of the window, in the order they are laid out.
const QVector<Control>& controls();
QRect rectOf(int id);
QString captionOf(int id);

// Settings combo box 1025..1033: its items (exact texts) and the item a reset selects.
QStringList settingItems(int id);
int settingResetItem(int id);

// The add dialog's filters as one text: description and patterns alternate between "|".
extern const char* const kAddFilter;

struct FileFilter
{
    QString description;
    QStringList patterns;
};
QVector<FileFilter> fileFilters();
// A filter line for QFileDialog that shows `description` as it stands (with
// HideNameFilterDetails) and matches `patterns`.
QString qtNameFilter(const FileFilter& filter);

// The control `id` among the window's own children; null when it has none.
template <typename W> W* controlOf(QWidget* window, int id)
{
    return window->findChild<W*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

} // namespace dialog102
