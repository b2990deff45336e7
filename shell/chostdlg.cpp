#include "shell/chostdlg.h"

#include "engine/appsettings.h"
#include "engine/tasklistfile.h"
#include "mainwindow/cquenmardlg.h"
#include "resources/artresource.h"
#include "shell/batchnotifier.h"
#include "shell/cskinengine.h"
#include "shell/launcherprogress.h"
#include "shell/shutdowncountdown.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QShortcut>
#include <QTimer>

#include <algorithm>

namespace {
CHostDlg* g_host = nullptr;
}

CHostDlg::CHostDlg(CSkinEngine& skin, PowerControl& power, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      m_skin(skin), m_power(power), m_icon(art::pixmap(art::Kind::Icon, 128))
{
    setObjectName(QStringLiteral("190"));
    setWindowTitle(QStringLiteral("Trelvo Converter"));
    OnInitDialog();
}

CHostDlg::~CHostDlg()
{
    if (m_main && m_main->converting())
        m_main->stopForClose();
    if (g_host == this)
        g_host = nullptr;
}

CHostDlg* CHostDlg::instance()
{
    return g_host;
}

void CHostDlg::OnInitDialog()
{
    setWindowIcon(m_icon);
    g_host = this;
    move(0, 0);
    setMinimumSize(kOuterSize);
    const WindowSize stored = storedWindowSize();
    resize(stored.size.isValid() ? stored.size.expandedTo(kOuterSize) : kOuterSize);
    if (stored.maximized)
        setWindowState(windowState() | Qt::WindowMaximized);

    // The batch's shutdown goes through a countdown the user can call off.
    m_countdown = new ShutdownCountdown(m_power, this);
    m_notifier = new BatchNotifier(this, this);

    CQuenmarDlg::Services services;
    services.power = m_countdown;
    services.taskListFile = userTaskListPath();
    services.skin = [this](int dispid, const QVariantList& args) { m_skin.Invoke(dispid, args); };
    m_main = new CQuenmarDlg(services, this);
    placeMain();
    m_main->show();
    m_skin.Invoke(CSkinEngine::SkinWindow, {QVariant::fromValue<QObject*>(m_main), 0});

    BatchDriver& driver = m_main->driver();
    // A new batch must not be cut short by the last one's shutdown.
    connect(&driver, &BatchDriver::batchStarted, m_countdown, &ShutdownCountdown::cancel);
    connect(&driver, &BatchDriver::batchEnded, m_notifier, &BatchNotifier::batchEnded);
    // The batch's progress on the program's entry in the task bar.
    m_launcher = new LauncherProgress(driver, this);

    // F1 reaches the host window, which opens the help page itself.
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &CHostDlg::OnHelp);
}

void CHostDlg::OnHelp()
{
    // The same help as the Help button, with the same window of its own when no browser
    // starts.
    m_main->OnHelp();
}

void CHostDlg::OpenFiles(const QStringList& paths)
{
    m_main->AddFiles(paths);
}

void CHostDlg::TakeFiles(const QStringList& paths)
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    if (paths.isEmpty())
        return;
    if (m_main->converting()) {
        QStringList names;
        for (const QString& path : paths)
            names << QFileInfo(path).fileName();
        m_main->showMessage(tr("These files were not added, as the window is converting:\n\n%1"
                               "\n\nAdd them once the conversion has ended.")
                                .arg(names.join(u'\n')),
                            tr("Information"), BatchHost::MessageIcon::None);
        return;
    }
    m_main->AddFiles(paths);
}

void CHostDlg::done(int result)
{
    // Every way of closing comes here. During a batch the user is asked first, unless the
    // session is ending; then the batch stops and the encoder finishes its file first.
    if (m_main && m_main->converting() && !m_closeWithoutAsking && !m_main->confirmClose())
        return;
    // The user is here, closing the window: no notification, and no shutdown either.
    m_countdown->cancel();
    storeWindowSize({isMaximized() ? normalGeometry().size() : size(), isMaximized()});
    if (m_main) {
        disconnect(&m_main->driver(), &BatchDriver::batchEnded, m_notifier, nullptr);
        if (m_main->converting())
            m_main->stopForClose();
    }
    QDialog::done(result);
}

void CHostDlg::closeWithoutAsking()
{
    m_closeWithoutAsking = true;
    close();
}

void CHostDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The window manager adds its frame after the window appears.
    QTimer::singleShot(0, this, &CHostDlg::fitOuterSize);
}

void CHostDlg::fitOuterSize()
{
    // The layout's size counts the frame; a window left larger keeps its own size.
    const QSize frame = frameGeometry().size() - geometry().size();
    if (frame.isValid() && (frame.width() > 0 || frame.height() > 0)) {
        const bool atLeast = size() == minimumSize();
        setMinimumSize(kOuterSize - frame);
        if (atLeast && !isMaximized())
            resize(minimumSize());
    }
    if (!isMaximized())
        move(0, 0);
    placeMain();
}

void CHostDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    placeMain();
}

void CHostDlg::placeMain()
{
    if (!m_main)
        return;
    // The main window reaches the window's right edge, so that its art fills the window;
    // what the window has beyond the layout's size is room for its list.
    const QSize extra = (size() - minimumSize()).expandedTo(QSize(0, 0));
    m_main->setGeometry(
        QRect(kMainRect.topLeft(), QSize(std::max(kMainRect.width(), width() - kMainRect.x()),
                                         kMainRect.height() + extra.height())));
    m_main->setExtraRoom(extra);
}
