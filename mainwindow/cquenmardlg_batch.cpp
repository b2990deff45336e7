// Starting a batch, what can be used while it runs, and closing during one.
#include "cquenmardlg.h"

#include "cimagebutton.h"
#include "crangeslider.h"
#include "ctasklistctrl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

int CQuenmarDlg::ask(const QString& text, const QString& caption, const QStringList& buttons,
                     int defaultButton)
{
    if (m_questionBox)
        return m_questionBox(text, caption, buttons);
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, this);
    QList<QAbstractButton*> made;
    for (int i = 0; i < buttons.size(); ++i) {
        // The last button is the one that changes nothing: Escape and the close box too.
        const bool last = i == buttons.size() - 1;
        made << box.addButton(buttons.at(i),
                              last ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
    }
    if (defaultButton >= 0 && defaultButton < made.size())
        box.setDefaultButton(qobject_cast<QPushButton*>(made.at(defaultButton)));
    box.setEscapeButton(made.last());
    box.exec();
    return int(made.indexOf(box.clickedButton()));
}

void CQuenmarDlg::OnStart()
{
    if (converting())
        return;
    if (m_tasks.size() == 0) {
        showMessage(QStringLiteral("Please add the videos to convert first"),
                    QStringLiteral("Information"), MessageIcon::None);
        return;
    }
    int converted = 0;
    for (int i = 0; i < m_tasks.size(); ++i)
        converted += isConverted(m_tasks.get(i)) ? 1 : 0;
    BatchDriver::Scope scope = BatchDriver::Scope::All;
    if (converted > 0) {
        // Converting everything again writes numbered copies beside the files made
        // before: a user who only added files does not expect that without being asked.
        const QString text =
            converted == m_tasks.size()
                ? tr("Every video in the list is converted already.\n"
                     "Convert them all again? New copies are written beside the files made "
                     "before.")
                : tr("%1 of the %2 videos in the list are converted already.\n"
                     "Convert only the others, or all of them again? Converting again writes "
                     "new copies beside the files made before.")
                      .arg(converted)
                      .arg(m_tasks.size());
        const QStringList buttons =
            converted == m_tasks.size()
                ? QStringList{tr("Convert All Again"), tr("Cancel")}
                : QStringList{tr("Only the Others"), tr("Convert All Again"), tr("Cancel")};
        const int answer = ask(text, tr("Start Converting"), buttons, 0);
        if (answer < 0 || answer == buttons.size() - 1)
            return;
        scope = buttons.at(answer) == tr("Only the Others") ? BatchDriver::Scope::Unconverted
                                                            : BatchDriver::Scope::All;
    }
    m_driver->startConverting(scope);
}

bool CQuenmarDlg::confirmClose()
{
    if (!converting())
        return true;
    const int answer = ask(tr("A conversion is running. Stop it and quit?\n"
                              "The file being written is finished with what was converted so far."),
                           tr("Quit"), {tr("Stop and Quit"), tr("Keep Converting")}, 1);
    // The batch may have ended while the question was open.
    return answer == 0 || !converting();
}

void CQuenmarDlg::updateControls()
{
    // While converting, nothing that the batch would ignore can be changed: the list
    // still scrolls, Stop and Help work, and the shutdown box is read at the end.
    const bool idle = !converting();
    const bool any = m_tasks.size() > 0;
    const auto enable = [](bool on, auto*... widgets) { (widgets->setEnabled(on), ...); };
    enable(idle, m_add, m_browse);
    enable(idle && any, m_remove, m_removeAll, m_play, m_stopPreview, m_slider);
    // The export type and the WMV profile are what the next added file takes, so they
    // work with an empty list too; the rest belongs to a Task.
    enable(idle, m_exportTypeLabel, m_exportMp4, m_exportWmv, m_wmvProfileLabel, m_wmvProfile);
    enable(idle && any, m_mp4Profile, m_mp4ProfileLabel);
    enableTrackChoices();
    ApplyExportMode(m_exportMode);
}

bool CQuenmarDlg::settingsEditable() const
{
    return !converting() && m_tasks.size() > 0;
}
