// The one QApplication of a test program, made on first use (offscreen in tests).
#pragma once

#include <QApplication>

namespace vorel::test {

inline QApplication &qtApp() {
    static int argc = 1;
    static char name[] = "vorel_test";
    static char *argv[] = {name, nullptr};
    // Never destroyed: Qt's own globals go first at exit.
    static QApplication *app = new QApplication(argc, argv);
    return *app;
}

} // namespace vorel::test
