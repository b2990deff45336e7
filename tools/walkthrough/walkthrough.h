#pragma once

#include <QElapsedTimer>
#include <QKeyCombination>
#include <QObject>
#include <QStringList>
#include <QTimer>

class CHostDlg;
class QDialog;

// Drives the real window from a script, as a user would, for the walk-through under
// a virtual display (scripts/walkthrough.sh). A tool of its own, trelvo-walkthrough,
// which runs the program's window with the script named by TRELVO_WALKTHROUGH. One
// command a line:
//   add FILE...       choose files in the add dialog (FILE | FILE... for names with spaces)
//   pick FILE...      the files the add dialog chooses from now on, however it opens
//   drop FILE...      drop files onto the list
//   select ROW        click a row
//   drag-left DX      drag the slider's left edge DX pixels; drag-right likewise
//   title TEXT        type a title
//   folder PATH       choose the output folder with Browse
//   start | stop      press Start or Stop
//   click ID          click the button or radio button with that id
//   choose ID ITEM    choose an item of the combo box with that id
//   focus ID          give the keyboard focus to the control with that id
//   key NAME [COUNT]  press a key COUNT times where the focus is: Tab, Shift+Left, Ctrl+O...;
//                     says where the focus is afterwards
//   wait MS | wait-progress ROW | wait-idle | wait-rows N (until the list has N rows)
//   shutdown-after MS the shutdown countdown's length (the program's power-off is a
//                     stand-in here: it refuses, and never powers anything off)
//   wait-text ROW RE  wait until the Progress cell of ROW matches the expression
//   video FILE        save a picture of the preview and print its checksum
//   children          print the program's child processes
//   files DIR         print the files in a folder
//   dismiss           answer the open message box
//   answer TEXT       press the button of that text in the open question
//   open-add          open the add button's own file dialog
//   shot-dialog FILE  save a picture of the open dialog or message box (modal or not)
//   cancel-dialog     cancel the open dialog (modal or not)
//   delete FILE       delete a file (a source that vanishes after it was added)
//   shot FILE         save a picture of the window
//   shot-screen FILE  save a picture of the display where the window is (with an open
//                     list, a message box over it, the window manager's frames)
//   open-list ID      open the list of the combo box with that id; close-list ID closes it
//   rows              print the list's cells
//   second-start FILE...  start the program once more with the files (it hands them over)
//   maximise          maximise the window (without a window manager: fill the screen)
//   quit              close the window
class Walkthrough : public QObject
{
    Q_OBJECT
public:
    Walkthrough(CHostDlg& host, const QString& scriptPath);

private:
    void tick();
    bool waiting();
    void run(const QString& line);
    void printRows();
    void printChildren();
    QDialog* openDialog() const;
    void say(const QString& text);
    void pressKey(const QKeyCombination& key);
    QString focusName() const;

    CHostDlg& m_host;
    QStringList m_lines;
    int m_next = 0;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_resumeAt = 0;
    int m_waitProgressRow = -1;
    QString m_waitPattern;
    bool m_waitIdle = false;
    int m_waitRows = -1;
};
