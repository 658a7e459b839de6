#include "guitest.h"

#include <QApplication>
#include <gtest/gtest.h>
#include <memory>

namespace vorel::view::test {

namespace {

// The one QApplication of the process lives from before the first test to after
// the last; a function-local static would be destroyed after Qt's own globals.
class TAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[14] = "view_gui_test";
    char *argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment *const registered = ::testing::AddGlobalTestEnvironment(new TAppEnvironment);

} // namespace

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
