#include "tools/walkthrough/walkthrough.h"

#include "mainwindow/cquenmardlg.h"
#include "shell/chostdlg.h"
#include "shell/shutdowncountdown.h"
#include "widgets/crangeslider.h"
#include "widgets/ctasklistctrl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QUrl>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kTickMs = 50;

void mouse(QWidget* widget, QEvent::Type type, const QPoint& pos)
{
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void drag(QWidget* widget, const QPoint& from, const QPoint& to)
{
    mouse(widget, QEvent::MouseButtonPress, from);
    const int steps = 8;
    for (int i = 1; i <= steps; ++i)
        mouse(widget, QEvent::MouseMove, from + (to - from) * i / steps);
    mouse(widget, QEvent::MouseButtonRelease, to);
}

// The share of pixels that are not near black, in percent.
int litPercent(const QImage& image)
{
    if (image.isNull())
        return 0;
    qint64 lit = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            lit += qGray(image.pixel(x, y)) > 24;
    return int(lit * 100 / (qint64(image.width()) * image.height()));
}

} // namespace

Walkthrough::Walkthrough(CHostDlg& host, const QString& scriptPath) : QObject(&host), m_host(host)
{
    QFile script(scriptPath);
    if (script.open(QIODevice::ReadOnly | QIODevice::Text))
        m_lines = QString::fromUtf8(script.readAll()).split(u'\n');
    m_clock.start();
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &Walkthrough::tick);
    m_timer.start();
}

void Walkthrough::say(const QString& text)
{
    std::printf("[%6.1f s] %s\n", m_clock.elapsed() / 1000.0, qPrintable(text));
    std::fflush(stdout);
}

bool Walkthrough::waiting()
{
    CQuenmarDlg* main = m_host.mainWindow();
    if (m_clock.elapsed() < m_resumeAt)
        return true;
    if (m_waitProgressRow >= 0) {
        auto* list = main->findChild<CTaskListCtrl*>(QStringLiteral("1011"));
        const QString text = list->GetCellRequest(m_waitProgressRow, 4)->text.trimmed();
        if (text.isEmpty())
            return true;
        if (!m_waitPattern.isEmpty() && !QRegularExpression(m_waitPattern).match(text).hasMatch())
            return true;
        say(QStringLiteral("row %1 progress: %2").arg(m_waitProgressRow).arg(text));
        m_waitProgressRow = -1;
        m_waitPattern.clear();
    }
    if (m_waitIdle) {
        if (main->converting())
            return true;
        m_waitIdle = false;
        say(QStringLiteral("batch ended"));
    }
    if (m_waitRows >= 0) {
        if (main->tasks().size() < m_waitRows)
            return true;
        m_waitRows = -1;
    }
    return false;
}

void Walkthrough::tick()
{
    if (waiting())
        return;
    while (m_next < m_lines.size()) {
        const QString line = m_lines.at(m_next++).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        m_resumeAt = 0;
        run(line);
        return;
    }
    m_timer.stop();
}

void Walkthrough::run(const QString& line)
{
    const QString command = line.section(u' ', 0, 0);
    const QString rest = line.section(u' ', 1);
    const QStringList args = rest.split(u' ', Qt::SkipEmptyParts);
    CQuenmarDlg* main = m_host.mainWindow();
    auto button = [main](const char* id) {
        return main->findChild<QPushButton*>(QString::fromLatin1(id));
    };
    auto* list = main->findChild<CTaskListCtrl*>(QStringLiteral("1011"));
    auto* slider = main->findChild<CRangeSlider*>(QStringLiteral("1047"));
    say(line);

    if (command == QLatin1String("add")) {
        // Names with spaces are given apart with " | ".
        QStringList files = args;
        if (rest.contains(u'|')) {
            files = rest.split(u'|', Qt::SkipEmptyParts);
            for (QString& file : files)
                file = file.trimmed();
        }
        main->setFileChooser([files] { return files; });
        // Files that cannot be added are said in a message box inside the click: click
        // from the event loop, so that the script goes on meanwhile.
        QTimer::singleShot(0, button("1012"), &QPushButton::click);
    } else if (command == QLatin1String("pick")) {
        main->setFileChooser([args] { return args; });
    } else if (command == QLatin1String("focus")) {
        // A message box closed without a window manager leaves no window active; the
        // focus shows once the window is active again.
        m_host.activateWindow();
        if (auto* target = main->findChild<QWidget*>(args.value(0)))
            target->setFocus(Qt::OtherFocusReason);
        m_resumeAt = m_clock.elapsed() + 300;
        QTimer::singleShot(250, this,
                           [this] { say(QStringLiteral("focus: %1").arg(focusName())); });
    } else if (command == QLatin1String("key")) {
        const QKeySequence sequence = QKeySequence::fromString(args.value(0));
        const int count = qMax(1, args.value(1).toInt());
        if (sequence.isEmpty() || sequence[0].key() == Qt::Key_unknown) {
            say(QStringLiteral("unknown key"));
        } else {
            // From the event loop, like a click: a key that opens a dialog returns only
            // when it closes, and the script must go on meanwhile.
            QTimer::singleShot(0, this, [this, key = sequence[0], count] {
                for (int i = 0; i < count; ++i)
                    pressKey(key);
                say(QStringLiteral("focus: %1").arg(focusName()));
            });
        }
    } else if (command == QLatin1String("drop")) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& path : args)
            urls << QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        mime.setUrls(urls);
        const QPointF at = list->geometry().center();
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(main, &enter);
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(main, &drop);
    } else if (command == QLatin1String("select")) {
        const QPoint at = list->GetCellRect(args.value(0).toInt(), 0).center();
        mouse(list->viewport(), QEvent::MouseButtonPress, at);
        mouse(list->viewport(), QEvent::MouseButtonRelease, at);
    } else if (command == QLatin1String("menu")) {
        // Right-clicks a row, then pictures the menu that opens there.
        const QPoint at = list->GetCellRect(args.value(0).toInt(), 0).center();
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent click(type, at, list->viewport()->mapToGlobal(at), Qt::RightButton,
                              type == QEvent::MouseButtonPress ? Qt::RightButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(list->viewport(), &click);
        }
        if (auto* menu = main->findChild<QMenu*>(QStringLiteral("listMenu"))) {
            say(QStringLiteral("menu: %1").arg(menu->actions().value(0)->text()));
            if (!args.value(1).isEmpty())
                menu->grab().save(args.value(1));
            menu->close();
        } else {
            say(QStringLiteral("no menu"));
        }
    } else if (command == QLatin1String("drag-left") || command == QLatin1String("drag-right")) {
        const QRect thumb = command == QLatin1String("drag-left") ? slider->leftThumbRect()
                                                                  : slider->rightThumbRect();
        drag(slider, thumb.center(), thumb.center() + QPoint(args.value(0).toInt(), 0));
        m_resumeAt = m_clock.elapsed() + 1500; // the glimpse
    } else if (command == QLatin1String("title")) {
        auto* edit = main->findChild<QLineEdit*>(QStringLiteral("1023"));
        edit->setFocus();
        edit->selectAll();
        for (const QChar c : rest) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &press);
        }
    } else if (command == QLatin1String("folder")) {
        // From the event loop: a folder that cannot be used is said in a message box.
        main->setFolderChooser([rest] { return rest; });
        QTimer::singleShot(0, button("1022"), &QPushButton::click);
    } else if (command == QLatin1String("start")) {
        // A batch that ends at once shows its message inside the click: click from the
        // event loop, so that the script goes on meanwhile.
        QTimer::singleShot(0, button("1048"), &QPushButton::click);
    } else if (command == QLatin1String("stop")) {
        // Stop ends the batch at once and shows its message: click from the event loop,
        // so that the script goes on while the message box is open.
        QTimer::singleShot(0, button("1049"), &QPushButton::click);
    } else if (command == QLatin1String("click")) {
        // From the event loop, so that the script goes on while a question it asks is open.
        if (auto* target = main->findChild<QAbstractButton*>(args.value(0)))
            QTimer::singleShot(0, target, &QAbstractButton::click);
        else
            say(QStringLiteral("no button %1").arg(args.value(0)));
    } else if (command == QLatin1String("choose")) {
        auto* combo = main->findChild<QComboBox*>(args.value(0));
        const int item = args.value(1).toInt();
        if (combo && item >= 0 && item < combo->count()) {
            combo->setCurrentIndex(item);
            emit combo->activated(item);
            say(QStringLiteral("chosen \"%1\"").arg(combo->currentText()));
        } else {
            say(QStringLiteral("no item %1 in combo box %2").arg(item).arg(args.value(0)));
        }
    } else if (command == QLatin1String("video")) {
        auto* video = main->findChild<QWidget*>(QStringLiteral("1053"));
        const QImage image = video->grab().toImage();
        image.save(rest);
        const QByteArray bits(reinterpret_cast<const char*>(image.constBits()),
                              image.sizeInBytes());
        say(QStringLiteral("preview %1 visible=%2 lit=%3% md5=%4")
                .arg(QFileInfo(rest).fileName())
                .arg(video->isVisible())
                .arg(litPercent(image))
                .arg(QString::fromLatin1(
                    QCryptographicHash::hash(bits, QCryptographicHash::Md5).toHex())));
    } else if (command == QLatin1String("wait-text")) {
        m_waitProgressRow = args.value(0).toInt();
        m_waitPattern = rest.section(u' ', 1);
    } else if (command == QLatin1String("children")) {
        printChildren();
    } else if (command == QLatin1String("files")) {
        const QStringList names = QDir(rest).entryList(QDir::Files | QDir::NoDotAndDotDot);
        say(QStringLiteral("  %1 file(s) in %2: %3").arg(names.size()).arg(rest, names.join(u' ')));
    } else if (command == QLatin1String("wait")) {
        m_resumeAt = m_clock.elapsed() + args.value(0).toInt();
    } else if (command == QLatin1String("wait-progress")) {
        m_waitProgressRow = args.value(0).toInt();
    } else if (command == QLatin1String("wait-idle")) {
        m_waitIdle = true;
    } else if (command == QLatin1String("wait-rows")) {
        m_waitRows = args.value(0).toInt();
    } else if (command == QLatin1String("shutdown-after")) {
        m_host.shutdownCountdown().setDuration(std::chrono::milliseconds(args.value(0).toInt()));
    } else if (command == QLatin1String("dismiss")) {
        if (auto* box = qobject_cast<QMessageBox*>(openDialog())) {
            say(QStringLiteral("message \"%1\": \"%2\"")
                    .arg(box->windowTitle(), box->text().trimmed()));
            box->accept();
        } else {
            say(QStringLiteral("no message box is open"));
        }
    } else if (command == QLatin1String("shot")) {
        m_host.grab().save(rest);
    } else if (command == QLatin1String("shot-screen")) {
        // The display where the window is, with what opens over it (an open list, a
        // message box and the window manager's frames, when one runs).
        QRect area = m_host.frameGeometry();
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible())
                area |= widget->frameGeometry();
        QGuiApplication::primaryScreen()
            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
            .save(rest);
    } else if (command == QLatin1String("open-list") || command == QLatin1String("close-list")) {
        if (auto* combo = main->findChild<QComboBox*>(args.value(0))) {
            if (command == QLatin1String("open-list"))
                combo->showPopup();
            else
                combo->hidePopup();
        } else {
            say(QStringLiteral("no combo box %1").arg(args.value(0)));
        }
    } else if (command == QLatin1String("answer")) {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QAbstractButton* chosen = nullptr;
        for (QAbstractButton* b : box ? box->buttons() : QList<QAbstractButton*>())
            if (b->text().remove(u'&') == rest)
                chosen = b;
        if (chosen) {
            say(QStringLiteral("question \"%1\": \"%2\"")
                    .arg(box->windowTitle(), box->text().simplified()));
            QTimer::singleShot(0, chosen, &QAbstractButton::click);
        } else {
            say(QStringLiteral("no question with that answer is open"));
        }
    } else if (command == QLatin1String("open-add")) {
        // The program's own file dialog, which stays open until cancel-dialog.
        main->setFileChooser({});
        QTimer::singleShot(0, button("1012"), &QPushButton::click);
    } else if (command == QLatin1String("shot-dialog")) {
        if (QDialog* dialog = openDialog()) {
            dialog->grab().save(rest);
            if (auto* box = qobject_cast<QMessageBox*>(dialog))
                say(QStringLiteral("  \"%1\": \"%2\"").arg(box->windowTitle(), box->text()));
        } else {
            say(QStringLiteral("no dialog is open"));
        }
    } else if (command == QLatin1String("cancel-dialog")) {
        if (QDialog* dialog = openDialog())
            dialog->reject();
        else
            say(QStringLiteral("no dialog is open"));
    } else if (command == QLatin1String("delete")) {
        say(QFile::remove(rest) ? QStringLiteral("deleted") : QStringLiteral("not deleted"));
    } else if (command == QLatin1String("rows")) {
        printRows();
    } else if (command == QLatin1String("second-start")) {
        // The program started once more while this window is open, as "Open with" does.
        auto* second = new QProcess(this);
        second->setProcessChannelMode(QProcess::ForwardedChannels);
        connect(second, &QProcess::finished, this, [this, second](int code) {
            say(QStringLiteral("the second start ended with exit code %1").arg(code));
            second->deleteLater();
        });
        second->start(QCoreApplication::applicationDirPath() + QStringLiteral("/trelvo-converter"),
                      args);
    } else if (command == QLatin1String("maximise")) {
        m_host.showMaximized();
        // Without a window manager nobody maximises: the window then takes the screen.
        QTimer::singleShot(300, this, [this] {
            const QRect screen = m_host.screen()->availableGeometry();
            if (m_host.width() < screen.width())
                m_host.setGeometry(screen);
            say(QStringLiteral("window %1 x %2").arg(m_host.width()).arg(m_host.height()));
        });
        m_resumeAt = m_clock.elapsed() + 600;
    } else if (command == QLatin1String("quit")) {
        m_host.close();
    } else {
        say(QStringLiteral("unknown command"));
    }
}

QDialog* Walkthrough::openDialog() const
{
    // The window itself runs modally; a dialog over it is what is asked for.
    auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (modal && modal != &m_host)
        return modal;
    // A dialog that leaves the window usable, such as the shutdown countdown.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog && dialog != &m_host && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

// As the window system delivers a key to the focused control: the shortcut check
// first, then the press and the release.
void Walkthrough::pressKey(const QKeyCombination& key)
{
    QWidget* target = QApplication::focusWidget();
    if (!target)
        target = m_host.mainWindow();
    QKeyEvent shortcut(QEvent::ShortcutOverride, key.key(), key.keyboardModifiers());
    QApplication::sendEvent(target, &shortcut);
    QKeyEvent press(QEvent::KeyPress, key.key(), key.keyboardModifiers());
    QApplication::sendEvent(target, &press);
    if (QWidget* now = QApplication::focusWidget())
        target = now;
    QKeyEvent release(QEvent::KeyRelease, key.key(), key.keyboardModifiers());
    QApplication::sendEvent(target, &release);
}

QString Walkthrough::focusName() const
{
    QWidget* focus = QApplication::focusWidget();
    if (!focus)
        return QStringLiteral("nowhere");
    const QString name = focus->accessibleName().isEmpty()
                             ? QString()
                             : QStringLiteral(" \"%1\"").arg(focus->accessibleName());
    return focus->objectName() + QStringLiteral(" (") + focus->metaObject()->className() +
           QStringLiteral(")") + name;
}

void Walkthrough::printRows()
{
    auto* list = m_host.mainWindow()->findChild<CTaskListCtrl*>(QStringLiteral("1011"));
    for (int row = 0; row < list->GetItemCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < 5; ++column)
            cells << list->GetCellRequest(row, column)->text.trimmed();
        const Task task = m_host.mainWindow()->tasks().get(row);
        cells << QStringLiteral("%1-%2 s")
                     .arg(task.startTime, 0, 'f', 2)
                     .arg(task.endTime, 0, 'f', 2);
        if (task.failed)
            cells << QStringLiteral("failed: ") + task.failureReason;
        say(QStringLiteral("  row %1: %2").arg(row).arg(cells.join(QStringLiteral(" | "))));
    }
}

void Walkthrough::printChildren()
{
    const QString self = QString::number(::getpid());
    QStringList children;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (pid.toInt() <= 0 || !stat.open(QIODevice::ReadOnly))
            continue;
        // pid (name) state ppid ...: the name may hold spaces, so count from its end.
        const QString line = QString::fromUtf8(stat.readAll());
        const QStringList after = line.mid(line.lastIndexOf(u')') + 2).split(u' ');
        if (after.value(1) != self)
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        cmdline.open(QIODevice::ReadOnly);
        children << pid + u' ' + QString::fromUtf8(cmdline.readAll().replace('\0', ' ')).trimmed();
    }
    const QString list =
        children.isEmpty() ? QString() : QStringLiteral(": ") + children.join(QStringLiteral("; "));
    say(QStringLiteral("  %1 child process(es)%2").arg(children.size()).arg(list));
}
