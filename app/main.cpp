// Program start: the data module prepares the audio libraries before anything
// else uses the engine; on the way out it unloads them and clears the temp folder.
#include "datamodule.h"
#include "messagebox.h"
#include "playerdemo.h"
#include "resourcetable.h"
#include "trace.h"

#include <QApplication>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>

namespace {

bool envIsOne(const char *name) {
    const char *v = std::getenv(name);
    return v && std::strcmp(v, "1") == 0;
}

} // namespace

int main(int argc, char **argv) {
    vorel::app::TraceStart();
    // The X11 WM_CLASS class, by which the hotkey remote finds the main window.
    QApplication::setApplicationName("TfMainFree");
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(vorel::resources::ProgramVersion());

    vorel::audio::Tdm dm(vorel::resources::FindResource,
                         [](const std::string &text, const std::string &caption) {
                             vorel::app::ShowMessage(QString::fromStdString(caption), QString::fromStdString(text),
                                                     QMessageBox::Critical);
                         });
    dm.DataModuleCreate();

    int rc = 0;
    if (!envIsOne("VORELPLAY_EXIT_AFTER_LOAD")) {
        try {
            rc = vorel::audio::RunPlayerDemo(std::cout);
        } catch (const std::exception &e) {
            vorel::app::ShowMessage("错误", QString::fromStdString(e.what()), QMessageBox::Critical);
            rc = 1;
        }
    }
    dm.DataModuleDestroy();
    return rc;
}
