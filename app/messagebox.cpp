#include "messagebox.h"

#include "trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
    const char *noDialogs = std::getenv("VORELPLAY_NO_DIALOGS");
    if (noDialogs && std::strcmp(noDialogs, "1") == 0) {
        const QByteArray line = (caption + ": " + text + "\n").toUtf8();
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
        std::fflush(stderr);
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

} // namespace vorel::app
