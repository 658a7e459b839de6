// Shows the help or about window with the real page, for looking at them under a
// display (screenshots). Not run by the tests.
#include "resourcetable.h"
#include "aboutwindow.h"
#include "helpwindow.h"

#include <QApplication>

#include <cstring>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "about") == 0)
        vorel::help::ShowAbout(nullptr, vorel::resources::ProgramVersion());
    else
        vorel::help::ShowHelp(nullptr, vorel::resources::FindResource);
    return 0;
}
