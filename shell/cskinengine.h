#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>
#include <QVector>

class QWidget;

// The program's skinning layer, driven by numbered calls:
//   17 (int)          1: skin the system's dialogs too; 0: leave them as the system draws them
//    1 (int)          1: skinning on
//    2 (string)       load the skin file, a Qt style sheet (relative names resolve in the
//                     working directory)
//   18 ()             apply the loaded skin to the application
//    5 (widget, int)  1: draw this combo box in the skin's combo box look
//    6 (widget, int)  1: this button in the skin's button look; 0: this window and all
//                     it holds in the skin's window look
//    7 ()             take the skin off again
// A missing, unreadable or broken skin file leaves the program unskinned and working;
// no call ever reports anything.
class CSkinEngine : public QObject
{
    Q_OBJECT
public:
    enum Dispid
    {
        SkinSystemDialogs = 17,
        Enable = 1,
        LoadSkin = 2,
        Apply = 18,
        SkinComboBox = 5,
        SkinWindow = 6,
        Finish = 7,
    };
    // The dynamic property the skin's selectors look at.
    static constexpr const char* kProperty = "trelvoSkin";

    explicit CSkinEngine(QObject* parent = nullptr);
    ~CSkinEngine() override;

    void Invoke(int dispid, const QVariantList& args = {});

    bool isSkinned() const { return m_applied; }
    QString styleSheet() const { return m_sheet; }
    // Every call in the order made, widgets as "widget:<objectName>".
    const QVector<QPair<int, QVariantList>>& calls() const { return m_calls; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void load(const QString& fileName);
    void apply();
    void mark(QWidget* widget, const char* look, bool withChildren);
    void finish();

    QVector<QPair<int, QVariantList>> m_calls;
    QVector<QPointer<QWidget>> m_marked;
    QString m_sheet;
    bool m_enabled = false;
    bool m_skinDialogs = false;
    bool m_applied = false;
};
