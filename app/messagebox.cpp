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
    box.exec();
}

} // namespace vorel::app
