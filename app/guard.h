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

// The user's text of a failure: the program's own message, or for a failure of
// the machine (memory exhausted) a Chinese text instead of the library's bare one.
std::string FailureText(const std::exception &e);

template <typename F> void Guard(F &&f) {
    try {
        f();
    } catch (const std::exception &e) {
        ShowFailure(FailureText(e));
    }
}

class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv) : QApplication(argc, argv) {}
    bool notify(QObject *receiver, QEvent *e) override;
};

} // namespace vorel::app
