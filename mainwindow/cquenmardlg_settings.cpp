// The encoding settings of the selected Task: export type, profiles, title and the
// nine settings combo boxes.
#include "cquenmardlg.h"

#include "crangeslider.h"
#include "ctasklistctrl.h"
#include "dialogtemplate.h"
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
    const SettingItems items =
        mp4Profile == 0 ? own : settingItemsOfCommand(profileCommand(appFolder(), mp4Profile));
    const std::pair<int, int> shown[] = {
        {IdVideoType, items.videoType}, {IdVideoSize, items.videoSize},
        {IdFrameRate, items.frameRate}, {IdVideoBitrate, items.videoBitrate},
        {IdAspect, items.aspect},       {IdAudioBitrate, items.audioBitrate},
        {IdChannels, items.channels},   {IdSampleRate, items.sampleRate},
        {IdVolume, items.volume},
    };
    for (const auto& [id, item] : shown)
        setting(id)->setCurrentIndex(item);
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
}

void CQuenmarDlg::OnTitleChanged()
{
    if (m_titleGuard || converting())
        return;
    const int i = m_selected;
    if (!m_tasks.isValidIndex(i))
        return;
    Task task = m_tasks.get(i);
    if (!setTaskTitle(task, m_titleEdit->text()))
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
        return;
    }
    EnableSettings(mp4 && m_tasks.get(m).mp4Profile == 0);
}

void CQuenmarDlg::EnableSettings(bool on)
{
    for (int id = kFirstSetting; id <= kLastSetting; ++id)
        setting(id)->setEnabled(on && settingsEditable());
}

void CQuenmarDlg::ResetSettings()
{
    for (int id = kFirstSetting; id <= kLastSetting; ++id)
        setting(id)->setCurrentIndex(settingResetItem(id));
    setTitleText(QString());
    // The label goes with the edit, so the edit never stands there unexplained.
    m_titleEdit->setVisible(m_exportMode == 0);
    m_titleLabel->setVisible(m_exportMode == 0);
    m_mp4Profile->setCurrentIndex(0);
    EnableSettings(m_exportMode == 0);
    showTrim(kNoTaskRange, 0.0, kNoTaskRange);
    if (m_wmvProfile->count() >= 1)
        m_wmvProfile->setCurrentIndex(0);
}
