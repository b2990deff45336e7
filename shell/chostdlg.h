#pragma once

#include <QDialog>
#include <QIcon>

class BatchNotifier;
class CQuenmarDlg;
class CSkinEngine;
class LauncherProgress;
class PowerControl;
class ShutdownCountdown;

// The program's top-level window: a frame at the screen origin whose only content is
// the main window. It opens at the size the user left it, never smaller than the
// layout; the main window takes what is larger. Closing it during a batch stops the batch first and
// waits until no encoder is left running; closing it while the shutdown counts down
// calls the shutdown off.
class CHostDlg : public QDialog
{
    Q_OBJECT
public:
    static constexpr QSize kOuterSize{692, 590};
    static constexpr QRect kMainRect{2, 2, 669, 608};

    CHostDlg(CSkinEngine& skin, PowerControl& power, QWidget* parent = nullptr);
    ~CHostDlg() override;

    CQuenmarDlg* mainWindow() const { return m_main; }
    ShutdownCountdown& shutdownCountdown() const { return *m_countdown; }
    BatchNotifier& notifier() const { return *m_notifier; }
    LauncherProgress& launcher() const { return *m_launcher; }
    void OnHelp();
    // Adds the files the program was started with (full paths) as Tasks.
    void OpenFiles(const QStringList& paths);
    // Files a later start of the program handed over (none: it only wants the window):
    // the window comes to the front and adds them as Add does.
    void TakeFiles(const QStringList& paths);

    // The host window of the running program; null while none is open.
    static CHostDlg* instance();

    void done(int result) override;
    // Closes without the question a running batch asks (the session is ending).
    void closeWithoutAsking();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnInitDialog();
    void fitOuterSize();
    void placeMain();

    CSkinEngine& m_skin;
    PowerControl& m_power;
    QIcon m_icon;
    bool m_closeWithoutAsking = false;
    ShutdownCountdown* m_countdown = nullptr;
    BatchNotifier* m_notifier = nullptr;
    LauncherProgress* m_launcher = nullptr;
    CQuenmarDlg* m_main = nullptr;
};
