// The window as the batch's host: Start and its questions, the batch's line under the
// list, closing during a batch, and the messages the batch shows.
#include "engine/clock.h"
#include "mainwindow/cquenmardlg.h"
#include "mainwindow/outputfolderpanel.h"
#include "mainwindow/tasklistpanel.h"
#include "widgets/cimagebutton.h"
#include <QCheckBox>
#include <QLabel>
#include <QTimer>

void CQuenmarDlg::followBatch()
{
    // The line under the list follows the batch: when a Task starts or ends, and every
    // half second for the percentages and the time left between.
    m_batchLineTimer = new QTimer(this);
    m_batchLineTimer->setInterval(500);
    connect(m_batchLineTimer, &QTimer::timeout, this, &CQuenmarDlg::showBatchProgress);
    connect(m_driver.get(), &BatchDriver::batchStarted, this, [this] {
        m_batchLine->clear();
        m_batchLine->show();
        m_batchLineTimer->start();
    });
    connect(m_driver.get(), &BatchDriver::taskStarted, this, &CQuenmarDlg::showBatchProgress);
    connect(m_driver.get(), &BatchDriver::taskEnded, this, &CQuenmarDlg::showBatchProgress);
    // The closing message says how the batch ended; then the line says again what the
    // next batch will write.
    connect(m_driver.get(), &BatchDriver::batchEnded, this, [this] {
        m_batchLineTimer->stop();
        showBatchProgress();
    });
    // Idle, it follows the list, the Tasks' settings and the folder.
    connect(&m_editor, &TaskEditor::rowsChanged, this, &CQuenmarDlg::showBatchProgress);
    connect(&m_editor, &TaskEditor::taskChanged, this, &CQuenmarDlg::showBatchProgress);
    connect(m_folderPanel, &OutputFolderPanel::folderChanged, this,
            &CQuenmarDlg::showBatchProgress);
}

void CQuenmarDlg::showBatchProgress()
{
    if (converting()) {
        m_batchLine->setText(batchProgressText(m_driver->progress(tickCount())));
        return;
    }
    // Before a batch: how much it will write, against the room where it goes.
    qint64 needed = 0;
    int count = 0;
    for (int i = 0; i < m_tasks.size(); ++i) {
        const Task task = m_tasks.get(i);
        if (!isConverted(task)) {
            needed += m_sizes.bytes(task);
            ++count;
        }
    }
    const QString folder = m_folderPanel->folder();
    const qint64 free = m_freeRoom ? m_freeRoom(folder) : freeRoom(folder);
    QString text;
    if (count > 0 && needed > 0) {
        text = (count == 1 ? tr("1 file to convert") : tr("%1 files to convert").arg(count)) +
               tr(" · about %1").arg(byteSizeText(needed));
        if (free >= 0)
            text += tr(" · %1 free in the output folder").arg(byteSizeText(free));
        if (free >= 0 && needed > free)
            text += tr(" · will not fit");
    }
    m_batchLine->setText(text);
    m_batchLine->setVisible(!text.isEmpty());
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
    if (!m_folderPanel->outputFolderReady())
        return;
    // A source put back since its row said it was missing is converted as any other.
    m_listPanel->lookAgainAtMissingSources();
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
        const int answer = m_dialogs.ask(text, tr("Start Converting"), buttons, 0);
        if (answer < 0 || answer == buttons.size() - 1)
            return;
        scope = buttons.at(answer) == tr("Only the Others") ? BatchDriver::Scope::Unconverted
                                                            : BatchDriver::Scope::All;
    }
    if (!roomForBatch(scope))
        return;
    m_driver->startConverting(scope, m_folderPanel->folder());
}

bool CQuenmarDlg::roomForBatch(BatchDriver::Scope scope)
{
    // Asked before the first file is written rather than found out half-way, when the
    // disk is full.
    qint64 needed = 0;
    for (int i = 0; i < m_tasks.size(); ++i) {
        const Task task = m_tasks.get(i);
        if (scope == BatchDriver::Scope::All || !isConverted(task))
            needed += m_sizes.bytes(task);
    }
    const QString folder = m_folderPanel->folder();
    const QString warning =
        roomWarning(needed, m_freeRoom ? m_freeRoom(folder) : freeRoom(folder), folder);
    if (warning.isEmpty())
        return true;
    const QStringList buttons{tr("Convert Anyway"), tr("Cancel")};
    const int answer = m_dialogs.ask(
        warning + tr("\nThe files that do not fit will fail once the disk is full. Make room "
                     "or choose another folder first, or convert anyway?"),
        tr("Start Converting"), buttons, 1);
    return answer == 0;
}

bool CQuenmarDlg::confirmClose()
{
    if (!converting())
        return true;
    const int answer =
        m_dialogs.ask(tr("A conversion is running. Stop it and quit?\n"
                         "The file being written is finished with what was converted so far."),
                      tr("Quit"), {tr("Stop and Quit"), tr("Keep Converting")}, 1);
    // Only the answer decides, even when the batch ended while the question was open:
    // whoever chose to keep converting did not choose to quit.
    return answer == 0;
}

void CQuenmarDlg::stopForClose()
{
    m_dialogs.closing = true;
    if (m_driver->converting())
        m_driver->stopConverting();
    m_driver->waitForEncoders();
}

void CQuenmarDlg::showConverting(bool converting)
{
    // The button that takes the other's place takes its focus too: Space stops what
    // Space started.
    CImageButton* shown = converting ? m_stop : m_start;
    CImageButton* hidden = converting ? m_start : m_stop;
    const bool hadFocus = hidden->hasFocus();
    shown->setVisible(true);
    hidden->setVisible(false);
    if (hadFocus)
        shown->setFocus(Qt::OtherFocusReason);
    updateControls();
}

bool CQuenmarDlg::shutdownWhenFinished() const
{
    return m_shutDown->isChecked();
}

void CQuenmarDlg::showMessage(const QString& text, const QString& caption, MessageIcon icon)
{
    m_dialogs.message(text, caption, icon);
}
