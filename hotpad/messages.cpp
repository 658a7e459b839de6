#include "messages.h"

#include "layout.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace hotpad {

namespace {

bool dialogsOff() {
    const char *v = std::getenv("VORELPLAY_NO_DIALOGS");
    return v && std::strcmp(v, "1") == 0;
}

void toStderr(std::string_view text) {
    std::fprintf(stderr, "%.*s: %.*s\n", int(BoxCaption.size()), BoxCaption.data(), int(text.size()), text.data());
}

// Qt is started only when a box is first needed, on the given platform.
void box(std::string_view text, const char *platform) {
    static int argc = 3;
    static char arg0[] = "Hotpad", arg1[] = "-platform", arg2[16];
    static char *argv[] = {arg0, arg1, arg2, nullptr};
    if (!QApplication::instance()) {
        std::snprintf(arg2, sizeof arg2, "%s", platform);
        new QApplication(argc, argv); // lives until the process ends
        // The box's button speaks the program's language.
        auto *qtTexts = new QTranslator(QApplication::instance());
        if (qtTexts->load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QApplication::installTranslator(qtTexts);
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(BoxCaption.data(), qsizetype(BoxCaption.size())),
                    QString::fromUtf8(text.data(), qsizetype(text.size())), QMessageBox::Ok);
    // The main window is kept above the others: the box must come above it, and
    // have the keys, or Enter would have to be pressed blind.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
    });
    box.exec();
}

} // namespace

void ShowBox(std::string_view text) {
    if (dialogsOff()) {
        toStderr(text);
        return;
    }
    // Hotpad serves one X display; its boxes belong there whatever Qt would pick.
    box(text, "xcb");
}

void ReportWithoutX(std::string_view text) {
    toStderr(text);
    if (dialogsOff() || !std::getenv("WAYLAND_DISPLAY"))
        return;
    // Qt ends the process when its platform cannot start; a child takes that risk.
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        box(text, "wayland");
        _exit(0);
    }
    if (child > 0) {
        int status = 0;
        waitpid(child, &status, 0);
    }
}

} // namespace hotpad
