#include "guard.h"

#include "mainwindow.h"
#include "messagebox.h"

namespace vorel::app {

void ShowFailure(const std::string &text) {
    ShowMessage(ApplicationTitle, QString::fromStdString(text), QMessageBox::Critical, QApplication::activeWindow());
}

bool TApplication::notify(QObject *receiver, QEvent *e) {
    try {
        return QApplication::notify(receiver, e);
    } catch (const std::exception &ex) {
        ShowFailure(ex.what());
    } catch (...) {
        ShowFailure("未知错误");
    }
    return false;
}

} // namespace vorel::app
