#include "messagebox.h"

#include "messageline.h"
#include "trace.h"

namespace vorel::app {

void ShowMessage(const QString &caption, const QString &text, QMessageBox::Icon icon, QWidget *owner) {
    Trace("error", text.toStdString());
    if (platform::WriteMessageLineInstead(caption.toStdString(), text.toStdString()))
        return;
    QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

} // namespace vorel::app
