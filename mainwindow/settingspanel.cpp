#include "mainwindow/settingspanel.h"

#include "engine/mediacomponent.h"
#include "engine/profilefile.h"
#include "engine/programfolder.h"
#include "engine/settingitems.h"
#include "engine/taskedits.h"
#include "mainwindow/dialogtemplate.h"
#include "media/mediacatalog.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyle>

using namespace dialog102;

namespace {

// A profile's name may be longer than its box: the open list is as wide as the longest
// name, and the box's tooltip shows the chosen one whole.
void showWholeNames(QComboBox* box)
{
    QAbstractItemView* view = box->view();
    const QFontMetrics metrics(view->font());
    int widest = 0;
    for (int i = 0; i < box->count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(box->itemText(i)));
    const int scrollBar = view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
    view->setMinimumWidth(widest + 2 * view->frameWidth() + scrollBar + 16);
    box->setToolTip(box->currentText());
}

} // namespace

SettingsPanel::SettingsPanel(QWidget* window, TaskEditor& editor, MediaConverter& converter)
    : QObject(window), m_editor(editor), m_tasks(editor.tasks()), m_converter(converter),
      m_exportTypeLabel(controlOf<QLabel>(window, IdExportTypeLabel)),
      m_exportMp4(controlOf<QRadioButton>(window, IdExportMp4)),
      m_exportWmv(controlOf<QRadioButton>(window, IdExportWmv)),
      m_titleLabel(controlOf<QLabel>(window, IdTitleLabel)),
      m_titleEdit(controlOf<QLineEdit>(window, IdTitle)),
      m_mp4ProfileLabel(controlOf<QLabel>(window, IdMp4ProfileLabel)),
      m_mp4Profile(controlOf<QComboBox>(window, IdMp4Profile)),
      m_wmvProfileLabel(controlOf<QLabel>(window, IdWmvProfileLabel)),
      m_wmvProfile(controlOf<QComboBox>(window, IdWmvProfile))
{
    for (int id = kFirstSetting; id <= kLastSetting; ++id)
        m_settings[size_t(id - kFirstSetting)] = controlOf<QComboBox>(window, id);
    auto* radios = new QButtonGroup(this);
    radios->addButton(m_exportMp4, 0);
    radios->addButton(m_exportWmv, 1);
    pushExportRadioValue();
    connectControls();
}

QComboBox* SettingsPanel::setting(int id) const
{
    return m_settings.at(size_t(id - kFirstSetting));
}

void SettingsPanel::connectControls()
{
    for (QComboBox* profile : {m_mp4Profile, m_wmvProfile})
        connect(profile, &QComboBox::currentTextChanged, profile, &QWidget::setToolTip);
    connect(m_titleEdit, &QLineEdit::textChanged, this, &SettingsPanel::OnTitleChanged);
    // activated: only the user's choices, as the program's own selections notify nothing.
    connect(m_mp4Profile, &QComboBox::activated, this, &SettingsPanel::OnMp4ProfileChanged);
    connect(m_wmvProfile, &QComboBox::activated, this, &SettingsPanel::OnWmvProfileChanged);
    for (int id = kFirstSetting; id <= kLastSetting; ++id)
        connect(setting(id), &QComboBox::activated, this, [this, id] { OnSettingChanged(id); });
    connect(m_exportMp4, &QRadioButton::clicked, this, &SettingsPanel::SwitchToMp4);
    connect(m_exportWmv, &QRadioButton::clicked, this, &SettingsPanel::SwitchToWmv);
    m_exportMp4->installEventFilter(this);
    m_exportWmv->installEventFilter(this);
}

bool SettingsPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || (watched != m_exportMp4 && watched != m_exportWmv))
        return false;
    switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        break;
    default:
        return false;
    }
    // The type not chosen now, whichever of the two has the focus.
    QRadioButton* other = m_exportMode == 0 ? m_exportWmv : m_exportMp4;
    if (other->isEnabled()) {
        other->setFocus(Qt::TabFocusReason);
        other->click();
    }
    return true;
}

void SettingsPanel::start()
{
    fillMp4Profiles();
    fillWmvProfiles();
    ResetSettings();
    m_exportRadioValue = 0;
    pushExportRadioValue();
    m_exportMode = 0;
    ApplyExportMode(0);
}

void SettingsPanel::fillMp4Profiles()
{
    const Mp4ProfileChoice profiles = LoadMp4Profiles(appFolder());
    if (profiles.filled) {
        m_mp4Profile->clear();
        m_mp4Profile->addItems(profiles.items);
        m_mp4Profile->setCurrentIndex(profiles.selectIndex);
    }
    showWholeNames(m_mp4Profile);
}

void SettingsPanel::fillWmvProfiles()
{
    const MediaCollection profiles = m_converter.WmvProfiles();
    const short count = profiles.Count();
    for (short i = 0; i < count; ++i) {
        QString description = profiles.Description(i);
        qsizetype lead = 0;
        while (lead < description.size() && description.at(lead).isSpace())
            ++lead;
        description.remove(0, lead);
        if (!description.isEmpty())
            m_wmvProfile->addItem(description);
    }
    if (m_wmvProfile->count() >= 1)
        m_wmvProfile->setCurrentIndex(0);
    showWholeNames(m_wmvProfile);
}

void SettingsPanel::pushExportRadioValue()
{
    // -1 unchecks both, which an exclusive group does not allow by itself.
    QButtonGroup* group = m_exportMp4->group();
    group->setExclusive(false);
    m_exportMp4->setChecked(m_exportRadioValue == 0);
    m_exportWmv->setChecked(m_exportRadioValue == 1);
    group->setExclusive(true);
    // Tab stops at the chosen type only; the arrows move to the other.
    m_exportMp4->setFocusPolicy(m_exportRadioValue == 1 ? Qt::ClickFocus : Qt::StrongFocus);
    m_exportWmv->setFocusPolicy(m_exportRadioValue == 1 ? Qt::StrongFocus : Qt::ClickFocus);
}

void SettingsPanel::updateEnabled()
{
    const bool idle = m_editor.mayEdit();
    // The export type and the WMV profile are what the next added file takes, so they
    // work with an empty list too; the rest belongs to a Task.
    for (QWidget* w : std::initializer_list<QWidget*>{m_exportTypeLabel, m_exportMp4, m_exportWmv,
                                                      m_wmvProfileLabel, m_wmvProfile})
        w->setEnabled(idle);
    // Choosing the MP4 Profile is never refused: with no Task it changes only the box,
    // and during a batch a Task not converted yet takes the Profile chosen last.
    m_mp4Profile->setEnabled(m_editor.mayEdit(TaskEditor::Edit::Mp4Profile));
    m_mp4ProfileLabel->setEnabled(m_mp4Profile->isEnabled());
    ApplyExportMode(m_exportMode);
}

void SettingsPanel::sayNewTaskChoice()
{
    emit newTaskChoiceChanged(m_exportMode, m_wmvProfile->currentIndex());
}

void SettingsPanel::showTask(int index)
{
    m_shown = m_tasks.isValidIndex(index) ? index : -1;
    if (m_shown < 0) {
        ResetSettings();
        return;
    }
    const Task task = m_tasks.get(index);
    // The radio pair shows the Task's export type; the next added file takes it.
    m_exportRadioValue = task.exportType != 0 ? 1 : 0;
    pushExportRadioValue();
    // Every control shows this Task, also those that its export type hides or greys: a
    // switch of the type must not bring back another Task's values.
    setTitleText(task.title);
    ++m_profileGuard;
    m_mp4Profile->setCurrentIndex(task.mp4Profile);
    --m_profileGuard;
    showSettingItems(task.mp4Profile, settingItemsOfTask(task));
    m_wmvProfile->setCurrentIndex(task.wmvProfile);
    if (task.exportType != 0) {
        SwitchToWmv();
        showWmvSettings();
    } else {
        EnableSettings(task.mp4Profile == 0);
        SwitchToMp4();
    }
    sayNewTaskChoice();
}

void SettingsPanel::showTitleField()
{
    // The label goes with the edit, so the edit never stands there unexplained.
    m_titleEdit->setVisible(m_exportMode == 0);
    m_titleLabel->setVisible(m_exportMode == 0);
}

void SettingsPanel::OnSettingChanged(int id)
{
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
    const int item = setting(id)->currentIndex();
    m_editor.edit(m_shown, [&](Task& task) { return setTaskSetting(task, found->second, item); });
}

void SettingsPanel::OnMp4ProfileChanged()
{
    if (m_profileGuard)
        return;
    const int k = m_mp4Profile->currentIndex();
    EnableSettings(k == 0);
    m_editor.edit(
        m_shown, [k](Task& task) { return setTaskMp4Profile(task, k); },
        TaskEditor::Edit::Mp4Profile);
    // Without a Task, the Custom Profile shows what a new Task would start with.
    const Task task = m_tasks.isValidIndex(m_shown) ? m_tasks.get(m_shown) : Task{};
    showSettingItems(k, settingItemsOfTask(task));
}

void SettingsPanel::showSettingItems(int mp4Profile, const SettingItems& own)
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

void SettingsPanel::showWmvSettings()
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

void SettingsPanel::showSettingsOfExportMode()
{
    if (m_exportMode == 1) {
        showWmvSettings();
        return;
    }
    if (!m_showingWmv)
        return;
    // Back from WMV: the shown Task's MP4 values, or what a new Task starts with.
    const bool any = m_tasks.isValidIndex(m_shown);
    const Task task = any ? m_tasks.get(m_shown) : Task{};
    showSettingItems(any ? task.mp4Profile : std::max(0, m_mp4Profile->currentIndex()),
                     settingItemsOfTask(task));
}

void SettingsPanel::showInBoxes(const SettingItems& items, const SettingTexts& texts)
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

void SettingsPanel::OnWmvProfileChanged()
{
    if (!m_editor.mayEdit())
        return;
    const int k = m_wmvProfile->currentIndex();
    m_editor.edit(m_shown, [k](Task& task) { return setTaskWmvProfile(task, k); });
    showSettingsOfExportMode();
    sayNewTaskChoice();
}

void SettingsPanel::OnTitleChanged()
{
    if (m_titleGuard || !m_editor.mayEdit() || !m_tasks.isValidIndex(m_shown))
        return;
    const QString text = cutText(m_titleEdit->text(), kTitleLimit);
    // A longer title is cut where a character ends, and the field shows what is kept.
    if (text != m_titleEdit->text())
        setTitleText(text);
    m_editor.edit(m_shown, [&text](Task& task) { return setTaskTitle(task, text); });
}

void SettingsPanel::setTitleText(const QString& text)
{
    ++m_titleGuard;
    m_titleEdit->setText(text);
    --m_titleGuard;
}

void SettingsPanel::SwitchToMp4()
{
    switchExportType(0);
}

void SettingsPanel::SwitchToWmv()
{
    switchExportType(1);
}

void SettingsPanel::switchExportType(int mode)
{
    if (!m_editor.mayEdit() || m_exportMode == mode)
        return;
    m_exportMode = mode;
    m_exportRadioValue = mode;
    pushExportRadioValue();
    ApplyExportMode(mode);
    m_editor.edit(m_shown, [mode](Task& task) { return setTaskExportType(task, mode); });
    sayNewTaskChoice();
}

void SettingsPanel::ApplyExportMode(int mode)
{
    const bool mp4 = mode == 0;
    m_mp4ProfileLabel->setVisible(mp4);
    m_mp4Profile->setVisible(mp4);
    m_wmvProfileLabel->setVisible(!mp4);
    m_wmvProfile->setVisible(!mp4);
    m_titleEdit->setEnabled(mp4 && m_editor.mayEdit());
    m_titleLabel->setEnabled(mp4 && m_editor.mayEdit());
    const bool custom = !m_tasks.isValidIndex(m_shown) || m_tasks.get(m_shown).mp4Profile == 0;
    EnableSettings(mp4 && custom);
    showSettingsOfExportMode();
}

void SettingsPanel::EnableSettings(bool on)
{
    // With no Task the boxes can be used too; a change then changes only the box.
    for (QComboBox* box : m_settings)
        box->setEnabled(on && m_editor.mayEdit());
}

void SettingsPanel::ResetSettings()
{
    showInBoxes({settingResetItem(IdVideoType), settingResetItem(IdVideoSize),
                 settingResetItem(IdFrameRate), settingResetItem(IdVideoBitrate),
                 settingResetItem(IdAspect), settingResetItem(IdChannels),
                 settingResetItem(IdAudioBitrate), settingResetItem(IdSampleRate),
                 settingResetItem(IdVolume)},
                {});
    setTitleText(QString());
    showTitleField();
    m_mp4Profile->setCurrentIndex(0);
    EnableSettings(m_exportMode == 0);
    if (m_wmvProfile->count() >= 1)
        m_wmvProfile->setCurrentIndex(0);
    if (m_exportMode == 1)
        showWmvSettings();
    sayNewTaskChoice();
}
