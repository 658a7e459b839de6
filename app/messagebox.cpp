#include "messagebox.h"

#include "messageline.h"
#include "trace.h"

namespace vorel::app {

namespace {
MessageHook &hook() {
    static MessageHook h;
    return h;
}
} // namespace

void SetMessageHook(MessageHook h) { hook() = std::move(h); }

void ShowMessage(const QString &caption, const QString &text, QMessageBox::Icon icon, QWidget *owner) {
    Trace("error", text.toStdString());
    if (hook()) {
        hook()(caption, text);
        return;
    }
    if (platform::WriteMessageLineInstead(caption.toStdString(), text.toStdString()))
        return;
    QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool AskYesNo(const QString &caption, const QString &text, QWidget *owner) {
    if (platform::WriteMessageLineInstead(caption.toStdString(), text.toStdString()))
        return false;
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

QString PlainToolTip(const QString &text) {
    if (text.isEmpty())
        return text;
    QString escaped = text.toHtmlEscaped();
    escaped.replace('\n', QStringLiteral("<br>"));
    return QStringLiteral("<qt>") + escaped + QStringLiteral("</qt>");
}

} // namespace vorel::app
