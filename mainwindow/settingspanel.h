#pragma once

#include "engine/taskeditor.h"

#include <QObject>

#include <array>

class MediaConverter;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
struct SettingItems;
struct SettingTexts;

// The shown Task's encoding settings: the export type, the MP4 and WMV profiles, the
// title, and the nine settings boxes, with the rules of what they show and when they
// take input. With no Task the boxes show what a new Task starts with, and the export
// type and WMV profile are what the next added file takes (newTaskChoiceChanged).
class SettingsPanel : public QObject
{
    Q_OBJECT
public:
    SettingsPanel(QWidget* window, TaskEditor& editor, MediaConverter& converter);

    int exportMode() const { return m_exportMode; }
    // The profile lists are filled and the boxes show a new Task's values.
    void start();
    void updateEnabled();

    void OnSettingChanged(int id);
    void OnMp4ProfileChanged();
    void OnWmvProfileChanged();
    void OnTitleChanged();
    void SwitchToMp4();
    void SwitchToWmv();
    void ApplyExportMode(int mode);
    void EnableSettings(bool on);
    void ResetSettings();

public slots:
    // Shows Task `index`, or with -1 what a new Task starts with.
    void showTask(int index);
    // The title field shows from the first Task on.
    void showTitleField();

signals:
    void newTaskChoiceChanged(int exportType, int wmvProfile);

protected:
    // The arrow keys on the export type switch it, as on any pair of radio buttons.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void connectControls();
    void fillMp4Profiles();
    void fillWmvProfiles();
    void pushExportRadioValue();
    void switchExportType(int mode);
    void setTitleText(const QString& text);
    void showSettingItems(int mp4Profile, const SettingItems& own);
    void showWmvSettings();
    // The values that the export mode's profile writes, after a change of mode or profile.
    void showSettingsOfExportMode();
    void showInBoxes(const SettingItems& items, const SettingTexts& texts);
    void sayNewTaskChoice();
    QComboBox* setting(int id) const;

    TaskEditor& m_editor;
    const TaskList& m_tasks;
    MediaConverter& m_converter;
    QLabel* m_exportTypeLabel;
    QRadioButton* m_exportMp4;
    QRadioButton* m_exportWmv;
    QLabel* m_titleLabel;
    QLineEdit* m_titleEdit;
    QLabel* m_mp4ProfileLabel;
    QComboBox* m_mp4Profile;
    QLabel* m_wmvProfileLabel;
    QComboBox* m_wmvProfile;
    std::array<QComboBox*, 9> m_settings{};

    int m_shown = -1; // the Task the controls show
    int m_exportMode = 0;
    int m_exportRadioValue = -1;
    int m_titleGuard = 0;
    int m_profileGuard = 0;
    bool m_showingWmv = false; // the settings boxes show a WMV profile's values
};
