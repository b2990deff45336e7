#include "shell/cskinengine.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QFile>
#include <QStringDecoder>
#include <QStyle>
#include <QWidget>

namespace {

// Qt says a style sheet is broken only as a warning; catch it while the skin goes on.
bool g_parseFailed = false;
QtMessageHandler g_previousHandler = nullptr;

void catchParseFailure(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.contains(QLatin1String("Could not parse"))) {
        g_parseFailed = true;
        return;
    }
    if (g_previousHandler)
        g_previousHandler(type, context, text);
}

int intArg(const QVariantList& args, int index)
{
    return index < args.size() ? args.at(index).toInt() : 0;
}

QWidget* widgetArg(const QVariantList& args, int index)
{
    return index < args.size() ? qobject_cast<QWidget*>(args.at(index).value<QObject*>()) : nullptr;
}

void repolish(QWidget* widget)
{
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
    widget->update();
    // A combo box's open list is a window of its own under the box, made with the box and
    // styled then, before the box was marked: the skin selects it by the box's mark, so it
    // is styled again with the box.
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        QAbstractItemView* list = combo->view();
        for (QWidget* part : {list->window(), static_cast<QWidget*>(list), list->viewport()}) {
            part->style()->unpolish(part);
            part->style()->polish(part);
        }
    }
}

} // namespace

CSkinEngine::CSkinEngine(QObject* parent) : QObject(parent) {}

CSkinEngine::~CSkinEngine()
{
    if (m_applied)
        finish();
}

void CSkinEngine::Invoke(int dispid, const QVariantList& args)
{
    // The log keeps widgets by name: they may be gone when someone reads it.
    QVariantList logged;
    for (const QVariant& arg : args) {
        QObject* object =
            arg.metaType() == QMetaType::fromType<QObject*>() ? arg.value<QObject*>() : nullptr;
        logged << (object ? QVariant(QStringLiteral("widget:") + object->objectName()) : arg);
    }
    m_calls.append({dispid, logged});
    switch (dispid) {
    case SkinSystemDialogs:
        m_skinDialogs = intArg(args, 0) != 0;
        break;
    case Enable:
        m_enabled = intArg(args, 0) != 0;
        break;
    case LoadSkin:
        load(args.value(0).toString());
        break;
    case Apply:
        apply();
        break;
    case SkinComboBox:
        if (QWidget* combo = widgetArg(args, 0))
            mark(combo, intArg(args, 1) ? "combo" : nullptr, false);
        break;
    case SkinWindow:
        if (QWidget* widget = widgetArg(args, 0))
            mark(widget, intArg(args, 1) ? "button" : "window", intArg(args, 1) == 0);
        break;
    case Finish:
        finish();
        break;
    default:
        break;
    }
}

void CSkinEngine::load(const QString& fileName)
{
    m_sheet.clear();
    QFile file(fileName);
    if (fileName.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError() || text.contains(QChar(0)))
        return;
    m_sheet = text;
}

void CSkinEngine::apply()
{
    if (!m_enabled || m_sheet.trimmed().isEmpty() || !qApp)
        return;
    g_parseFailed = false;
    g_previousHandler = qInstallMessageHandler(catchParseFailure);
    qApp->setStyleSheet(m_sheet);
    {
        // Qt parses the sheet when it first styles a widget.
        QWidget probe;
        probe.ensurePolished();
    }
    qInstallMessageHandler(g_previousHandler);
    g_previousHandler = nullptr;
    if (g_parseFailed) {
        qApp->setStyleSheet(QString());
        m_sheet.clear();
        return;
    }
    m_applied = true;
    if (m_skinDialogs)
        qApp->installEventFilter(this);
}

void CSkinEngine::mark(QWidget* widget, const char* look, bool withChildren)
{
    const QVariant value = look ? QVariant(QString::fromLatin1(look)) : QVariant();
    widget->setProperty(kProperty, value);
    m_marked.append(widget);
    QList<QWidget*> children;
    if (withChildren) {
        // Each control of the window is marked itself, and the skin selects marked
        // controls only: a message box or file dialog opened under the window is a
        // window of its own, is not marked, and keeps the system's readable colours.
        for (QWidget* child : widget->findChildren<QWidget*>()) {
            if (child->window() != widget->window())
                continue;
            children << child;
            if (!child->property(kProperty).isValid()) {
                child->setProperty(kProperty, value);
                m_marked.append(child);
            }
        }
    }
    if (!m_applied)
        return;
    repolish(widget);
    for (QWidget* child : children)
        repolish(child);
}

bool CSkinEngine::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show) {
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (dialog && !dialog->property(kProperty).isValid())
            mark(dialog, "window", true);
    }
    return QObject::eventFilter(watched, event);
}

void CSkinEngine::finish()
{
    if (qApp)
        qApp->removeEventFilter(this);
    for (const QPointer<QWidget>& widget : m_marked)
        if (widget)
            widget->setProperty(kProperty, QVariant());
    m_marked.clear();
    if (m_applied && qApp)
        qApp->setStyleSheet(QString());
    m_applied = false;
}
