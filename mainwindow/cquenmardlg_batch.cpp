// Starting a batch, what can be used while it runs, and closing during one.
#include "cquenmardlg.h"

#include "cimagebutton.h"
#include "crangeslider.h"
#include "ctasklistctrl.h"
#include "messages.h"
#include "outputfolder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace {
// How long the list is left where the user scrolled it during a batch.
constexpr int kUserScrollHoldMs = 4000;
} // namespace

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
    fitCaption(box);
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
    if (!outputFolderReady())
        return;
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
    m_driver->startConverting(scope, m_folderEdit->text());
}

bool CQuenmarDlg::outputFolderReady()
{
    const QString folder = m_folderEdit->text();
    if (folder.isEmpty())
        return true; // the batch says so itself
    const FailureKind problem = outputFolderProblem(folder);
    if (problem == FailureKind::OutputReadOnly) {
        showMessage(tr("The output folder is read-only:\n%1\n\n"
                       "Choose another one with Browse.")
                        .arg(folder),
                    tr("Warning"), MessageIcon::Warning);
        return false;
    }
    if (problem != FailureKind::OutputMissing)
        return true;
    // A folder that vanished is made again only where it was, and only when the user
    // agrees: a missing parent means a disk that is not there, not a folder to invent.
    if (!QFileInfo(QFileInfo(QDir::cleanPath(folder)).absolutePath()).isDir()) {
        showMessage(tr("The output folder does not exist any more, nor the folder that held "
                       "it:\n%1\n\nChoose another one with Browse.")
                        .arg(folder),
                    tr("Warning"), MessageIcon::Warning);
        return false;
    }
    if (ask(tr("The output folder does not exist any more:\n%1\n\nMake it again?").arg(folder),
            tr("Start Converting"), {tr("Make It Again"), tr("Cancel")}, 0) != 0)
        return false;
    if (QDir().mkdir(folder))
        return true;
    showMessage(tr("The output folder could not be made again:\n%1\n\n"
                   "Choose another one with Browse.")
                    .arg(folder),
                tr("Warning"), MessageIcon::Warning);
    return false;
}

bool CQuenmarDlg::confirmClose()
{
    if (!converting())
        return true;
    const int answer = ask(tr("A conversion is running. Stop it and quit?\n"
                              "The file being written is finished with what was converted so far."),
                           tr("Quit"), {tr("Stop and Quit"), tr("Keep Converting")}, 1);
    // Only the answer decides, even when the batch ended while the question was open:
    // whoever chose to keep converting did not choose to quit.
    return answer == 0;
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
    // Choosing the MP4 Profile is never refused: with no Task it changes only the box,
    // and during a batch a Task not converted yet takes the Profile chosen last.
    enable(true, m_mp4Profile, m_mp4ProfileLabel);
    enableTrackChoices();
    ApplyExportMode(m_exportMode);
}

bool CQuenmarDlg::settingsEditable() const
{
    // With no Task the boxes can be used too; a change then changes only the box.
    return !converting();
}

void CQuenmarDlg::followRunningTasks()
{
    m_scrollHold = new QTimer(this);
    m_scrollHold->setSingleShot(true);
    m_scrollHold->setInterval(kUserScrollHoldMs);
    connect(m_scrollHold, &QTimer::timeout, this, [this] {
        m_userScrolled.invalidate();
        keepWorkInView();
    });
    // Actions are the user's scrolling only (wheel, bar, keys); the program's own
    // scrolling triggers none.
    connect(m_list->verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this] {
        m_userScrolled.start();
        m_scrollHold->start();
    });
    connect(m_driver.get(), &BatchDriver::taskStarted, this, [this](int index) {
        m_running.append(index);
        keepWorkInView();
    });
    connect(m_driver.get(), &BatchDriver::taskEnded, this, [this](int index) {
        m_running.removeAll(index);
        keepWorkInView();
    });
    connect(m_driver.get(), &BatchDriver::batchEnded, this, [this] { m_running.clear(); });
}

void CQuenmarDlg::keepWorkInView()
{
    // The first Task at work stays in view, unless the user has just scrolled away.
    if (m_running.isEmpty() || m_userScrolled.isValid())
        return;
    m_list->EnsureVisible(*std::min_element(m_running.cbegin(), m_running.cend()), false);
}
