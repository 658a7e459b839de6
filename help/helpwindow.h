// The help window: the user guide, stored compressed in the program's resources,
// is written to a fresh file in the private temp folder when the window is shown,
// displayed, and deleted again when the window closes. GUI thread only.
#pragma once

#include "resource.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <string>

class QTextBrowser;

namespace vorel::help {

// How the help window reports a failure: (caption, text). The program passes its
// own message function (which also traces); the default is ShowPlainMessage.
using MessageHook = std::function<void(const QString &caption, const QString &text)>;

// A modal box with an OK button; with VORELPLAY_NO_DIALOGS=1 the line
// "<caption>: <text>" goes to stderr instead, so that nothing waits for a click.
void ShowPlainMessage(const QString &caption, const QString &text);

// Replaces the hook ShowHelp uses; an empty hook restores ShowPlainMessage.
void SetMessageHook(MessageHook hook);

// Opens the help window modally over owner (may be null) and frees it after it is
// closed, also when showing fails. The page comes from lookup (the program's
// resource table).
void ShowHelp(QWidget *owner, const platform::ResourceLookup &lookup);

class TfHelp : public QDialog {
    Q_OBJECT
public:
    static const QString Caption;
    static const QString NotFoundText;   // the page is missing or cannot be shown
    static const QString NotWrittenText; // followed by the system's reason

    TfHelp(platform::ResourceLookup lookup, MessageHook message, QWidget *parent = nullptr);
    ~TfHelp() override;

    // The page file written for the latest showing; "" before the first.
    const std::string &pageFile() const { return pageFile_; }
    QTextBrowser *browser() const { return wb1_; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void FormShow();
    void FormClose();
    void writePage();

    platform::ResourceLookup lookup_;
    MessageHook message_;
    QTextBrowser *wb1_;
    std::string pageFile_;
};

} // namespace vorel::help
