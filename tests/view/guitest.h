// Shared helpers of the widget tests.
#pragma once

#include <QApplication>
#include <QImage>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <utility>

#include "view/mmoscope.h"

namespace vorel::view::test {

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

inline ::testing::Environment *const AppEnvironment = ::testing::AddGlobalTestEnvironment(new TAppEnvironment);

inline constexpr TColor Foreground = 16729156;
inline constexpr TColor Inactive = 16764622;

// The waveform strip as the main window configures it, shown, 609 x 61.
inline void ConfigureMainOscope(TMMOscope &osc)
{
    osc.SetForegroundColor(Foreground);
    osc.SetInactiveColor(Inactive);
    osc.resize(609, 61);
    osc.show();
    QCoreApplication::processEvents();
}

inline TColor PixelAt(const QImage &img, int x, int y)
{
    const QRgb p = img.pixel(x, y);
    return TColor(qRed(p)) | TColor(qGreen(p)) << 8 | TColor(qBlue(p)) << 16;
}

// Pixels (x, y) where the two images differ.
inline std::set<std::pair<int, int>> Diff(const QImage &a, const QImage &b)
{
    std::set<std::pair<int, int>> d;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                d.emplace(x, y);
    return d;
}

} // namespace vorel::view::test
