#include "mainwindow/dialogtemplate.h"

#include <QHash>

namespace dialog102 {

const QVector<Control>& controls()
{
    static const QVector<Control> table = {
        {IdSettingsFrame, {280, 4, 372, 240}, {}},
        {IdListFrame, {10, 250, 642, 220}, {}},
        {IdTaskList, {20, 300, 560, 160}, {}},
        // At the top of the foot's frame, above the row of Help, left of Start.
        {IdBatchProgress, {22, 481, 536, 15}, {}},
        {IdAdd, {600, 310, 33, 33}, {}},
        {IdRemove, {600, 360, 33, 33}, {}},
        {IdRemoveAll, {600, 410, 33, 33}, {}},
        {IdOutputFolderLabel, {20, 272, 100, 15}, QStringLiteral("Export Directory:")},
        {IdOutputFolder, {125, 268, 440, 20}, {}},
        {IdBrowse, {570, 265, 60, 20}, QStringLiteral("Browse")},
        {IdFadePicture, {10, 10, 264, 200}, {}},
        {IdMediaComponent, {10, 10, 264, 200}, {}},
        {IdPlay, {10, 211, 19, 19}, {}},
        {IdStopPreview, {30, 211, 19, 19}, {}},
        {IdRangeSlider, {51, 212, 222, 18}, QStringLiteral("Slider1")},
        {IdExportTypeLabel, {288, 31, 74, 20}, QStringLiteral("Export Type:")},
        {IdExportMp4, {365, 29, 120, 20}, QStringLiteral("Microsoft Zune MP4")},
        {IdExportWmv, {490, 29, 120, 20}, QStringLiteral("Microsoft Zune WMV")},
        // The profile row at y = 55 is taken by the two profile combo boxes, so the
        // title has its own row at the foot of the window, beside Help.
        {IdTitleLabel, {226, 502, 124, 15}, QStringLiteral("Title (showed in Zune)")},
        {IdTitle, {352, 500, 205, 20}, {}},
        {IdMp4ProfileLabel, {288, 58, 75, 15}, QStringLiteral("Zune MP4 Profile")},
        {IdMp4Profile, {365, 55, 280, 20}, {}},
        {IdWmvProfileLabel, {288, 58, 75, 15}, QStringLiteral("Zune WMV Profile:")},
        {IdWmvProfile, {365, 55, 280, 20}, {}},
        {1040, {288, 83, 75, 15}, QStringLiteral("Audio Quality")},
        {IdAudioBitrate, {365, 81, 100, 20}, {}},
        {1045, {478, 83, 75, 15}, QStringLiteral("Channels")},
        {IdChannels, {545, 81, 100, 20}, {}},
        {1041, {288, 108, 75, 15}, QStringLiteral("Sample Rate")},
        {IdSampleRate, {365, 106, 100, 20}, {}},
        {1042, {478, 108, 75, 15}, QStringLiteral("Volume")},
        {IdVolume, {545, 106, 100, 20}, {}},
        {1039, {288, 133, 75, 15}, QStringLiteral("Video Aspect")},
        {IdAspect, {365, 131, 100, 20}, {}},
        // The sound track of the selected Task, in the free half of the aspect's row.
        {IdAudioTrackLabel, {478, 133, 60, 15}, QStringLiteral("Audio")},
        {IdAudioTrack, {545, 131, 100, 20}, {}},
        {1037, {288, 158, 75, 15}, QStringLiteral("Video Type")},
        {IdVideoType, {365, 155, 100, 20}, {}},
        {1043, {478, 158, 75, 15}, QStringLiteral("Video Size")},
        {IdVideoSize, {545, 154, 100, 20}, {}},
        {1038, {288, 183, 75, 15}, QStringLiteral("Frame Rate")},
        {IdFrameRate, {365, 181, 100, 20}, {}},
        {1044, {478, 183, 75, 15}, QStringLiteral("Video Quality")},
        {IdVideoBitrate, {545, 181, 100, 20}, {}},
        {IdShutDown,
         {288, 210, 358, 15},
         QStringLiteral("Automatically Shut Down the computer when work finished")},
        {IdHelp, {155, 500, 60, 20}, QStringLiteral("Help")},
        // The subtitles of the selected Task, in the free row beneath; a frame holds the
        // foot's controls as the others hold theirs.
        {IdFootFrame, {10, 476, 642, 100}, {}},
        {IdSubtitlesLabel, {22, 542, 55, 15}, QStringLiteral("Subtitles")},
        {IdSubtitles, {80, 540, 477, 20}, {}},
        {IdStart, {570, 485, 61, 42}, {}},
        {IdStop, {570, 485, 61, 42}, {}},
    };
    return table;
}

static const Control* find(int id)
{
    for (const Control& c : controls())
        if (c.id == id)
            return &c;
    return nullptr;
}

QRect rectOf(int id)
{
    const Control* c = find(id);
    return c ? c->rect : QRect();
}

QString captionOf(int id)
{
    const Control* c = find(id);
    return c ? c->caption : QString();
}

namespace {
struct Setting
{
    QStringList items;
    int reset;
};

const QHash<int, Setting>& settings()
{
    static const QHash<int, Setting> table = {
        {IdVideoType, {{"MPEG4", "AVC"}, 1}},
        {IdVideoSize, {{"320 x 240", "640 x 480"}, 0}},
        {IdFrameRate, {{"29.97    fps"}, 0}},
        {IdVideoBitrate,
         {{"256   kbps", "512   kbps", "768   kbps", "1200 kbps", "1500 kbps", "2000 kbps"}, 3}},
        {IdAspect, {{"4:3", "16:9"}, 0}},
        {IdAudioBitrate,
         {{"32     kbps", "40     kbps", "48     kbps", "56     kbps", "64     kbps", "80     kbps",
           "96     kbps", "112   kbps", "128   kbps", "160   kbps", "192   kbps", "224   kbps",
           "256   kbps", "320   kbps"},
          4}},
        {IdChannels, {{"Mono", "Stereo"}, 1}},
        {IdSampleRate,
         {{"96000  Hz", "54000  Hz", "48000  Hz", "44100  Hz", "32000  Hz", "22050  Hz",
           "16000  Hz", "8000    Hz"},
          2}},
        {IdVolume, {{"50%", "100%", "150%", "200%", "250%", "300%", "350%", "400%"}, 1}},
    };
    return table;
}
} // namespace

QStringList settingItems(int id)
{
    return settings().value(id).items;
}

int settingResetItem(int id)
{
    return settings().value(id, Setting{{}, -1}).reset;
}

const char* const kAddFilter =
    "Support Video Files|*.rm;*rmvb;*.avi;*.mpg;*.mpeg;*.vob;*.wmv;*.wma;*.asf;*.mov;*.qt;*.3gp|"
    "RealMedia Files (*.rm,*.rmvb)|*.rm;*.rmvb|"
    "AVI Files (*.avi)|*.avi|"
    "Mpeg files (*.mpg, *.mpeg,*.vob)|*.mpg;*.mpeg;*.vob|"
    "Windows Media files (*.wmv, *.wma, *.asf)|*.wmv;*.wma;*.asf|"
    "Quick Time Files (*.mov, *.qt)|*.mov; *.qt|"
    "3GP Files (*.3gp)|*.3gp|";

QVector<FileFilter> fileFilters()
{
    const QStringList parts = QString::fromLatin1(kAddFilter).split(u'|');
    QVector<FileFilter> filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts.at(i).isEmpty())
            break;
        FileFilter filter{parts.at(i), {}};
        for (const QString& pattern : parts.at(i + 1).split(u';', Qt::SkipEmptyParts))
            if (!pattern.trimmed().isEmpty())
                filter.patterns.append(pattern.trimmed());
        filters.append(filter);
    }
    return filters;
}

QString qtNameFilter(const FileFilter& filter)
{
    // Qt takes the patterns from the last parentheses of the line and, with
    // HideNameFilterDetails, shows only what comes before them.
    return filter.description + QStringLiteral(" (") + filter.patterns.join(u' ') + u')';
}

} // namespace dialog102
