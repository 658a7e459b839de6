#include "guitest.h"

#include <QApplication>

namespace vorel::view::test {

void EnsureApp()
{
    static int argc = 1;
    static char name[] = "view_gui_test";
    static char *argv[] = {name, nullptr};
    static QApplication app(argc, argv);
}

void ConfigureMainOscope(TMMOscope &osc)
{
    osc.SetKind(okMirLines);
    osc.SetForegroundColor(Foreground);
    osc.SetInactiveColor(Inactive);
    osc.resize(609, 61);
    osc.show();
    QCoreApplication::processEvents();
}

std::set<std::pair<int, int>> Diff(const QImage &a, const QImage &b)
{
    std::set<std::pair<int, int>> d;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                d.emplace(x, y);
    return d;
}

} // namespace vorel::view::test
