#include "shell/cquenmarapp.h"

#include "engine/programfolder.h"
#include "resources/artresource.h"
#include "shell/chostdlg.h"
#include "shell/logindpowercontrol.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

CQuenmarApp::CQuenmarApp(PowerControl* power) : m_power(power)
{
    QApplication::setWindowIcon(QIcon(art::pixmap(art::Kind::Icon, 128)));
}

QString CQuenmarApp::executableFolder()
{
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    const QString resolved = exe.canonicalFilePath();
    const QString folder =
        QFileInfo(resolved.isEmpty() ? exe.absoluteFilePath() : resolved).absolutePath();
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

bool CQuenmarApp::InitInstance()
{
    setProgramFolder(executableFolder());

    m_skin.Invoke(CSkinEngine::SkinSystemDialogs, {0});
    m_skin.Invoke(CSkinEngine::Enable, {1});
    m_skin.Invoke(CSkinEngine::LoadSkin, {programFolder() + QString::fromLatin1(kSkinFile)});
    m_skin.Invoke(CSkinEngine::Apply);

    LogindPowerControl logind;
    {
        CHostDlg host(m_skin, m_power ? *m_power : logind);
        if (!m_startFiles.isEmpty()) {
            // Measuring the files takes a moment: the window shows first.
            QTimer::singleShot(0, &host, [&host, files = m_startFiles] { host.OpenFiles(files); });
        }
        if (m_hostHook)
            m_hostHook(host);
        host.exec();
    }
    return false;
}

int CQuenmarApp::ExitInstance()
{
    m_skin.Invoke(CSkinEngine::Finish);
    return 0;
}

int CQuenmarApp::run()
{
    InitInstance();
    return ExitInstance();
}
