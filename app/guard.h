// The program's failures are exceptions carrying one message for the user. Every
// handler runs inside Guard, which shows that message in a box and returns, so the
// window stays usable; TApplication catches whatever escapes a handler all the same.
#pragma once

#include <QApplication>

#include <exception>
#include <string>

namespace vorel::app {

// The box of an uncaught failure: the application title as caption, error icon.
void ShowFailure(const std::string &text);

template <typename F> void Guard(F &&f) {
    try {
        f();
    } catch (const std::exception &e) {
        ShowFailure(e.what());
    }
}

class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv) : QApplication(argc, argv) {}
    bool notify(QObject *receiver, QEvent *e) override;
};

} // namespace vorel::app
