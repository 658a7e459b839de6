// Every message box of the program goes through here: it is traced (kind
// "error"), and with VORELPLAY_NO_DIALOGS=1 it is written to stderr as
// "<caption>: <text>" instead of waiting for a click (tests, CI). GUI thread;
// needs the QApplication.
#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace vorel::app {

// Texts here and below come from files, paths and remote callers: they are shown
// as plain text, never as markup (an <img> would make Qt open a file).
void ShowMessage(const QString &caption, const QString &text, QMessageBox::Icon icon,
                 QWidget *owner = nullptr);
// Yes or No; false without asking where VORELPLAY_NO_DIALOGS writes the question.
bool AskYesNo(const QString &caption, const QString &text, QWidget *owner);
// A tool tip that shows text as written: Qt takes a tip that looks like markup
// for markup.
QString PlainToolTip(const QString &text);

// Tests: receives every message instead of a box (the trace line is still
// written); an empty hook restores the box.
using MessageHook = std::function<void(const QString &caption, const QString &text)>;
void SetMessageHook(MessageHook hook);

} // namespace vorel::app
