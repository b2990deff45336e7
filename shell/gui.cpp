#include "shell/gui.h"

#include "shell/chostdlg.h"
#include "shell/cquenmarapp.h"
#include "shell/singleinstance.h"
#include "shell/startfiles.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// SIGTERM (logging out, `kill`), SIGHUP (the terminal it was started from closed) and
// SIGINT close the window the way its close button does: a running batch is stopped
// and the encoder finishes its file first.
void closeOnSignals(QApplication& application)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        // Nobody may be there to answer a question: the session is ending.
        if (CHostDlg* host = CHostDlg::instance())
            host->closeWithoutAsking();
        QApplication::closeAllWindows();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

bool displayAvailable()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int runGui(int argc, char** argv, std::function<void(CHostDlg&)> onHost, PowerControl* power)
{
    if (!displayAvailable()) {
        std::fputs("Trelvo Converter: no display found, so the window cannot open.\n"
                   "The converter also works without one: trelvo-converter --help\n",
                   stderr);
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trelvo Converter"));
    closeOnSignals(application);
    // What is left after Qt took its own options are the files to open.
    const QStringList files = startFiles(QApplication::arguments().mid(1), QDir::currentPath());

    // One window per user: a later start hands its files to the running window, which
    // alone keeps the list of files.
    SingleInstance instance;
    switch (instance.claim(files)) {
    case SingleInstance::Claim::HandedOver:
        return 0;
    case SingleInstance::Claim::NoAnswer: {
        const qint64 pid = instance.serverPid();
        const QString text =
            QApplication::translate("Gui",
                                    "Trelvo Converter is already running, but its window does "
                                    "not answer.\n\nWait a moment and try again. If it never "
                                    "answers, end it%1 and start Trelvo Converter again.")
                .arg(pid > 0 ? QStringLiteral(" (process %1)").arg(pid) : QString());
        std::fprintf(stderr, "%s\n", qUtf8Printable(text));
        QMessageBox::warning(nullptr, QStringLiteral("Trelvo Converter"), text);
        return 1;
    }
    case SingleInstance::Claim::First:
    case SingleInstance::Claim::Alone:
        break;
    }

    CQuenmarApp app(power);
    app.setStartFiles(files);
    app.setHostHook([&instance, onHost = std::move(onHost)](CHostDlg& host) {
        QObject::connect(&instance, &SingleInstance::filesHandedOver, &host, &CHostDlg::TakeFiles);
        // A start after the window closed opens a window of its own.
        QObject::connect(&host, &QDialog::finished, &instance, &SingleInstance::stopServing);
        if (onHost)
            onHost(host);
    });
    return app.run();
}
