// The encoding settings of the selected Task: export type, profiles, title and the
// nine settings combo boxes.
#include "cquenmardlg.h"

#include "crangeslider.h"
#include "ctasklistctrl.h"
#include "dialogtemplate.h"
#include "mediacatalog.h"
#include "profilefile.h"
#include "programfolder.h"
#include "settingitems.h"
#include "taskcells.h"
#include "taskedits.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

using namespace dialog102;

void CQuenmarDlg::OnSettingChanged(int id)
{
    if (converting())
        return;
    const int i = m_selected;
    if (!m_tasks.isValidIndex(i))
        return;
    static const std::pair<int, TaskSetting> settings[] = {
        {IdVideoType, TaskSetting::VideoType}, {IdVideoSize, TaskSetting::VideoSize},
        {IdFrameRate, TaskSetting::FrameRate}, {IdVideoBitrate, TaskSetting::VideoBitrate},
        {IdAspect, TaskSetting::Aspect},       {IdAudioBitrate, TaskSetting::AudioBitrate},
        {IdChannels, TaskSetting::Channels},   {IdSampleRate, TaskSetting::SampleRate},
        {IdVolume, TaskSetting::Volume},
    };
    const auto found = std::find_if(std::begin(settings), std::end(settings),
                                    [id](const auto& entry) { return entry.first == id; });
    if (found == std::end(settings))
        return;
    Task task = m_tasks.get(i);
    if (setTaskSetting(task, found->second, setting(id)->currentIndex()))
        m_tasks.set(i, task);
}

void CQuenmarDlg::OnMp4ProfileChanged()
{
    // Allowed during a batch: a Task not yet converted takes the Profile chosen last.
    if (m_profileGuard)
        return;
    const int k = m_mp4Profile->currentIndex();
    EnableSettings(k == 0);
    const int i = m_selected;
    // Without a Task, the Custom Profile shows what a new Task would start with.
    Task task;
    if (m_tasks.isValidIndex(i)) {
        task = m_tasks.get(i);
        if (setTaskMp4Profile(task, k))
            m_tasks.set(i, task);
    }
    showSettingItems(k, settingItemsOfTask(task));
}

void CQuenmarDlg::showSettingItems(int mp4Profile, const SettingItems& own)
{
    // A fixed Profile converts with the values of its template, never with the ones the
    // boxes held for the Custom Profile; those are what the greyed boxes show.
    if (mp4Profile == 0) {
        showInBoxes(own, {});
        return;
    }
    const QString command = profileCommand(appFolder(), mp4Profile);
    showInBoxes(settingItemsOfCommand(command), settingTextsOfCommand(command));
}

void CQuenmarDlg::showWmvSettings()
{
    // The greyed boxes show what the chosen WMV profile writes: the media component's
    // values, read as a template's options would be.
    const auto& profiles = wmvProfileTable();
    const int k = m_wmvProfile->currentIndex();
    if (k < 0 || k >= int(profiles.size())) {
        showInBoxes({}, {});
    } else {
        const WmvProfile& p = profiles[size_t(k)];
        const QString command =
            QStringLiteral("wmv -vcodec wmv2 -s %1x%2 -r %3 -b %4 -aspect %1:%2 -ac 2 -ab %5 "
                           "-ar 44100 -vol 256")
                .arg(p.width)
                .arg(p.height)
                .arg(p.frameRate, 0, 'g', 10)
                .arg(p.videoKbps)
                .arg(p.audioKbps);
        showInBoxes(settingItemsOfCommand(command), settingTextsOfCommand(command));
    }
    m_showingWmv = true;
}

void CQuenmarDlg::showSettingsOfExportMode()
{
    if (m_exportMode == 1) {
        showWmvSettings();
        return;
    }
    if (!m_showingWmv)
        return;
    // Back from WMV: the selected Task's MP4 values, or what a new Task starts with.
    const int m = m_list->GetSelectionMark();
    const bool any = m_tasks.isValidIndex(m);
    const Task task = any ? m_tasks.get(m) : Task{};
    showSettingItems(any ? task.mp4Profile : std::max(0, m_mp4Profile->currentIndex()),
                     settingItemsOfTask(task));
}

void CQuenmarDlg::showInBoxes(const SettingItems& items, const SettingTexts& texts)
{
    const std::tuple<int, int, const QString&> shown[] = {
        {IdVideoType, items.videoType, texts.videoType},
        {IdVideoSize, items.videoSize, texts.videoSize},
        {IdFrameRate, items.frameRate, texts.frameRate},
        {IdVideoBitrate, items.videoBitrate, texts.videoBitrate},
        {IdAspect, items.aspect, texts.aspect},
        {IdAudioBitrate, items.audioBitrate, texts.audioBitrate},
        {IdChannels, items.channels, texts.channels},
        {IdSampleRate, items.sampleRate, texts.sampleRate},
        {IdVolume, items.volume, texts.volume},
    };
    for (const auto& [id, item, text] : shown) {
        QComboBox* box = setting(id);
        // A value of a Profile's own is an item of its own, after the box's items, and
        // goes again before the box shows anything else.
        const int own = int(settingItems(id).size());
        while (box->count() > own)
            box->removeItem(box->count() - 1);
        if (item < 0 && !text.isEmpty()) {
            box->addItem(text);
            box->setCurrentIndex(own);
        } else {
            box->setCurrentIndex(item);
        }
    }
    m_showingWmv = false;
}

void CQuenmarDlg::OnWmvProfileChanged()
{
    if (converting())
        return;
    const int i = m_selected;
    if (m_tasks.isValidIndex(i)) {
        Task task = m_tasks.get(i);
        if (setTaskWmvProfile(task, m_wmvProfile->currentIndex()))
            m_tasks.set(i, task);
    }
    showSettingsOfExportMode();
}

void CQuenmarDlg::OnTitleChanged()
{
    if (m_titleGuard || converting())
        return;
    const int i = m_selected;
    if (!m_tasks.isValidIndex(i))
        return;
    const QString text = cutText(m_titleEdit->text(), kTitleLimit);
    // A longer title is cut where a character ends, and the field shows what is kept.
    if (text != m_titleEdit->text())
        setTitleText(text);
    Task task = m_tasks.get(i);
    if (!setTaskTitle(task, text))
        return;
    m_tasks.set(i, task);
    m_list->InvalidateCells(i, i, ColumnExport, false);
}

void CQuenmarDlg::SwitchToMp4()
{
    if (converting() || m_exportMode == 0)
        return;
    m_exportMode = 0;
    ApplyExportMode(0);
    const int m = m_list->GetSelectionMark();
    if (m_tasks.isValidIndex(m)) {
        Task task = m_tasks.get(m);
        if (setTaskExportType(task, 0)) {
            m_tasks.set(m, task);
            m_list->InvalidateCells(m, m, ColumnExport, false);
        }
    }
}

void CQuenmarDlg::SwitchToWmv()
{
    if (converting() || m_exportMode == 1)
        return;
    m_exportMode = 1;
    ApplyExportMode(1);
    const int m = m_list->GetSelectionMark();
    if (m_tasks.isValidIndex(m)) {
        Task task = m_tasks.get(m);
        if (setTaskExportType(task, 1)) {
            m_tasks.set(m, task);
            m_list->InvalidateCells(m, m, ColumnExport, false);
        }
    }
}

void CQuenmarDlg::ApplyExportMode(int mode)
{
    const bool mp4 = mode == 0;
    m_mp4ProfileLabel->setVisible(mp4);
    m_mp4Profile->setVisible(mp4);
    m_wmvProfileLabel->setVisible(!mp4);
    m_wmvProfile->setVisible(!mp4);
    m_titleEdit->setEnabled(mp4 && settingsEditable());
    m_titleLabel->setEnabled(mp4 && settingsEditable());
    const int m = m_list->GetSelectionMark();
    if (!m_tasks.isValidIndex(m)) {
        EnableSettings(mp4);
        showSettingsOfExportMode();
        return;
    }
    EnableSettings(mp4 && m_tasks.get(m).mp4Profile == 0);
    showSettingsOfExportMode();
}

void CQuenmarDlg::EnableSettings(bool on)
{
    for (int id = kFirstSetting; id <= kLastSetting; ++id)
        setting(id)->setEnabled(on && settingsEditable());
}

void CQuenmarDlg::ResetSettings()
{
    showInBoxes({settingResetItem(IdVideoType), settingResetItem(IdVideoSize),
                 settingResetItem(IdFrameRate), settingResetItem(IdVideoBitrate),
                 settingResetItem(IdAspect), settingResetItem(IdChannels),
                 settingResetItem(IdAudioBitrate), settingResetItem(IdSampleRate),
                 settingResetItem(IdVolume)},
                {});
    setTitleText(QString());
    // The label goes with the edit, so the edit never stands there unexplained.
    m_titleEdit->setVisible(m_exportMode == 0);
    m_titleLabel->setVisible(m_exportMode == 0);
    m_mp4Profile->setCurrentIndex(0);
    EnableSettings(m_exportMode == 0);
    showTrim(kNoTaskRange, 0.0, kNoTaskRange);
    if (m_wmvProfile->count() >= 1)
        m_wmvProfile->setCurrentIndex(0);
    if (m_exportMode == 1)
        showWmvSettings();
}
