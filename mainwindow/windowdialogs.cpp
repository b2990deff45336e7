#include "mainwindow/windowdialogs.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

void fitCaption(QMessageBox& box)
{
    // The window manager writes the caption in a bold face beside its icon and buttons;
    // a box only as wide as a short text would cut it ("Inf...ion").
    QFont bold = box.font();
    bold.setBold(true);
    const int needed = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) + kCaptionChrome;
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!label)
        return;
    // Only ever wider than the text: a narrower minimum would cut the text instead.
    const bool wrap = label->wordWrap();
    label->setWordWrap(false);
    const int natural = label->sizeHint().width();
    label->setWordWrap(wrap);
    if (natural < needed)
        label->setMinimumWidth(needed);
}

void WindowDialogs::message(const QString& text, const QString& caption, MessageIcon icon) const
{
    if (closing)
        return;
    if (messageBox) {
        messageBox(text, caption, icon);
        return;
    }
    const QMessageBox::Icon shown = icon == MessageIcon::Stop      ? QMessageBox::Critical
                                    : icon == MessageIcon::Warning ? QMessageBox::Warning
                                                                   : QMessageBox::NoIcon;
    QMessageBox box(shown, caption, text, QMessageBox::Ok, owner);
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        label->setAlignment(Qt::AlignCenter);
    fitCaption(box);
    box.exec();
}

int WindowDialogs::ask(const QString& text, const QString& caption, const QStringList& buttons,
                       int defaultButton) const
{
    if (questionBox)
        return questionBox(text, caption, buttons);
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, owner);
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

bool WindowDialogs::openUrl(const QUrl& url) const
{
    return urlOpener ? urlOpener(url) : QDesktopServices::openUrl(url);
}

void WindowDialogs::showInFolder(const QString& path) const
{
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(path).absolutePath());
    // The opener as it is now: the answer comes later.
    auto openFolder = [opener = urlOpener, folder] {
        if (opener)
            opener(folder);
        else
            QDesktopServices::openUrl(folder);
    };
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder();
        return;
    }
    // The file managers' common way to open a folder with a file chosen in it.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [openFolder](QDBusPendingCallWatcher* answered) {
                         answered->deleteLater();
                         if (answered->isError())
                             openFolder();
                     });
}
