// Program start: one instance per user, the OS check, the data module that
// prepares the audio libraries, then the main window until it closes. On the way
// out the data module unloads the libraries and clears the temp folder.
#include "datamodule.h"
#include "guard.h"
#include "help/helpwindow.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "osversion.h"
#include "resourcetable.h"
#include "singleinstance.h"
#include "termination.h"
#include "trace.h"

#include <QFileInfo>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>

#include <cstdlib>
#include <memory>
#include <utility>
#include <string>

namespace {

const char *const InstanceName = "Mr.Wend 2007.5.31.";

// The kernel's generation; a test build stands on the one it is given.
int osMajorVersion() {
#ifdef VOREL_TEST_OS_MAJOR
    return VOREL_TEST_OS_MAJOR;
#else
    return vorel::platform::OsMajorVersion();
#endif
}

// X11 also under XWayland: the window's X11 class is how the hotkey remote finds it.
void preferX11() {
    if (!std::getenv("QT_QPA_PLATFORM") && std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "xcb", 1);
}

} // namespace

int main(int argc, char **argv) {
    using namespace vorel;
    app::TraceStart();
    preferX11();
    // The X11 WM_CLASS class, by which the hotkey remote finds the main window.
    QApplication::setApplicationName("TfMainFree");
    app::TApplication application(argc, argv);
    QApplication::setApplicationVersion(resources::ProgramVersion());
    // Qt's own dialogs and boxes speak the program's language.
    QTranslator qtTexts;
    if (qtTexts.load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    const std::string fileArg = argc > 1 ? QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath().toStdString()
                                         : std::string();
    // A test build that only prepares the libraries shows no window and so does
    // not take the single-instance place.
#ifdef VOREL_TEST_NO_WINDOW
    constexpr bool windowless = true;
#else
    constexpr bool windowless = false;
#endif
    platform::TSingleInstance instance(InstanceName);
    if (!windowless && !instance.Claim()) {
        // A second start: the first window comes forward (and opens the file).
        instance.Send(fileArg.empty() ? "raise" : "open " + fileArg);
        return 0;
    }

    if (osMajorVersion() < platform::MinimumOsMajorVersion) {
        app::ShowMessage("错误", "抱歉，您操作系统版本太低，本软件不支持低于win2000的操作系统！", QMessageBox::Critical);
        return 0;
    }

    audio::Tdm dm(resources::FindResource, [](const std::string &text, const std::string &caption) {
        app::ShowMessage(QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Critical);
    });
    dm.DataModuleCreate();

    // The help window's messages go the program's way (trace, test mode).
    help::SetMessageHook([](const QString &caption, const QString &text) {
        app::ShowMessage(caption, text, QMessageBox::Critical);
    });

    int rc = 0;
    if (!windowless) {
        std::unique_ptr<app::TfMainFree> window;
        app::Guard([&] { window = std::make_unique<app::TfMainFree>(); });
        if (window) {
            // A file that fails to open shows a box whose loop takes the next
            // message: one at a time, and of those that came meanwhile only the
            // last, so that a flood of failing paths stacks no boxes.
            auto handling = std::make_shared<bool>(false);
            auto waiting = std::make_shared<std::string>();
            instance.OnMessage = [&window, handling, waiting](const std::string &message) {
                if (*handling) {
                    *waiting = message;
                    return;
                }
                *handling = true;
                for (std::string next = message; !next.empty(); next = std::exchange(*waiting, std::string())) {
                    window->BringToFront();
                    if (next.rfind("open ", 0) == 0)
                        window->OpenFile(next.substr(5));
                }
                *handling = false;
            };
            window->show();
            // Media keys and the desktop's media controls; gone before the window.
            std::unique_ptr<QObject> mpris = app::StartMpris(*window);
            // A session logging out ends the program as closing its window does.
            app::CloseOnTerminationSignal([&window] {
                window->close();
                QApplication::quit();
            });
            if (!fileArg.empty())
                QTimer::singleShot(0, window.get(), [&window, fileArg] { window->OpenFile(fileArg); });
            rc = application.exec();
            app::CloseOnTerminationSignal({}); // the shut-down below goes on
            mpris.reset();
            window.reset();
        } else {
            rc = 1;
        }
    }
    dm.DataModuleDestroy();
    return rc;
}
