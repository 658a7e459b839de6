#include "guard.h"

#include "mainwindow.h"
#include "messagebox.h"

#include <new>

namespace vorel::app {

void ShowFailure(const std::string &text) {
    ShowMessage(ApplicationTitle, QString::fromStdString(text), QMessageBox::Critical, QApplication::activeWindow());
}

std::string FailureText(const std::exception &e) {
    if (dynamic_cast<const std::bad_alloc *>(&e))
        return "内存不足，无法完成这项操作。";
    return e.what();
}

bool TApplication::notify(QObject *receiver, QEvent *e) {
    try {
        return QApplication::notify(receiver, e);
    } catch (const std::exception &ex) {
        ShowFailure(FailureText(ex));
    } catch (...) {
        ShowFailure("未知错误");
    }
    return false;
}

} // namespace vorel::app
