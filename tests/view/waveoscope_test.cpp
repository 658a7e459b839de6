#include <QCoreApplication>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "guitest.h"
#include "view/mmoscope.h"
#include "view/showsamples.h"
#include "view/waveoscope.h"

namespace vorel::view {
namespace {

using test::PixelAt;

// Breakpoints given in ms, as the program's list holds them.
class VectorBreakpoints : public TBreakpoints {
public:
    std::vector<int32_t> times;

    int32_t Count() const override { return int32_t(times.size()); }
    int32_t ColumnAt(int32_t i) const override { return times.at(size_t(i)) / 40; }
};

constexpr TColor Purple = 8388736;
constexpr TColor Brown = TWaveOscope::PlayLineColour;

class WaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ConfigureMainOscope(osc);
        view.AttachOscope(&osc);
        osc.OnPostPaint = [this](TMMOscope *) { view.PaintOverlay(); };
        for (int i = 0; i < 2000; ++i)
            samples.push_back(std::to_string(i));
        view.SetSource(&samples, &bps);
    }

    // Redraws and lets the deferred paint in the foreground colour run.
    void Redraw()
    {
        view.RedrawWave();
        QCoreApplication::processEvents();
    }

    // Which of the columns are highlighted on the middle line.
    std::vector<bool> Lit(std::initializer_list<int> xs) const
    {
        std::vector<bool> r;
        for (int x : xs)
            r.push_back(PixelAt(osc.Image(), x, 29) == test::Foreground);
        return r;
    }

    TMMOscope osc;
    TWaveOscope view;
    VectorBreakpoints bps;
    std::vector<std::string> samples;
};

TEST_F(WaveTest, BreakpointMarksAndPlayLine)
{
    struct Case {
        int32_t ms, viewOffset, markX; // -1: no mark
    };
    const Case cases[] = {{0, 0, -1}, {79, 0, 1}, {80, 0, 2}, {609 * 40, 0, 609}, {610 * 40, 0, -1}, {6039, 100, 50}};
    samples.assign(2000, "0");
    Redraw();
    const QImage plain = osc.Image();
    for (const Case &c : cases) {
        bps.times = {c.ms};
        view.ViewOffset = c.viewOffset;
        Redraw();
        auto diff = test::Diff(plain, osc.Image());
        std::erase_if(diff, [](const auto &p) { return p.second == 60; }); // bottom edge: the pen's colour
        std::set<std::pair<int, int>> want; // middle tick 2 x 5 ending at x, bottom tick 1 x 3
        for (int x = c.markX - 1; c.markX >= 0 && x <= std::min(c.markX, 608); ++x)
            for (int y = 27; y <= 31; ++y)
                want.emplace(x, y);
        for (int y = 57; c.markX >= 0 && c.markX < 609 && y <= 59; ++y)
            want.emplace(c.markX, y);
        EXPECT_EQ(diff, want) << c.ms << " ms at offset " << c.viewOffset;
        for (const auto &[x, y] : want)
            EXPECT_EQ(PixelAt(osc.Image(), x, y), y < 40 ? Purple : Brown) << x << "," << y;
    }

    // The play line: nothing at 0, gone when drawn twice, back after every paint.
    const QImage marked = osc.Image();
    view.DrawPlayLine(&osc, 0, Brown);
    EXPECT_TRUE(test::Diff(marked, osc.Image()).empty());
    view.DrawPlayLine(&osc, 100, Brown);
    EXPECT_EQ(test::Diff(marked, osc.Image()).size(), 57u); // rows 2 .. 58
    view.DrawPlayLine(&osc, 100, Brown);
    EXPECT_TRUE(test::Diff(marked, osc.Image()).empty());
    view.PlayColumn = 100;
    osc.Repaint();
    view.DrawPlayLine(&osc, 100, Brown);
    EXPECT_TRUE(test::Diff(marked, osc.Image()).empty());
}

TEST_F(WaveTest, WhatIsNotSampledYetIsADottedLineNotSilence)
{
    samples.assign(2000, "0");
    Redraw();
    const QImage plain = osc.Image();
    for (int32_t from : {300, 0, 609, -1}) {
        view.UnknownFrom = from;
        Redraw();
        auto diff = test::Diff(plain, osc.Image());
        std::erase_if(diff, [](const auto &p) { return p.second == 60; }); // bottom edge
        if (from < 0 || from >= 609) {
            EXPECT_TRUE(diff.empty()) << from;
            continue;
        }
        // Dashes on the middle row from the first unknown column's group of four on.
        EXPECT_GT(diff.size(), size_t(609 - from) / 3) << from;
        for (const auto &[x, y] : diff) {
            EXPECT_GE(x, from / 4 * 4) << from;
            EXPECT_EQ(y, osc.DrawHeight() / 2) << from;
            EXPECT_EQ(PixelAt(osc.Image(), x, y), TWaveOscope::UnknownColour);
        }
    }
}

TEST_F(WaveTest, TheHighlightedRangeIsDrawnInTheForegroundColour)
{
    view.SelStart = 99;
    view.SelEnd = 102;
    view.ApplySelection(view.SelStart, view.SelEnd);
    osc.Repaint();
    EXPECT_EQ(Lit({98, 99, 102, 103}), std::vector<bool>({false, true, true, false}));
    view.ViewOffset = 100; // the range is view-relative: it stays where it is drawn
    Redraw();
    EXPECT_EQ(Lit({98, 99, 102, 103}), std::vector<bool>({false, true, true, false}));
}

TEST_F(WaveTest, MissingControlOrListsDrawNothing)
{
    TWaveOscope bare;
    bare.SetSource(nullptr, nullptr);
    bare.RedrawWave();
    bare.PaintOverlay();
    bare.DrawPlayLine(nullptr, 5, Brown);
    bare.AttachOscope(&osc);
    bare.RedrawWave(); // no samples: silence
    EXPECT_EQ(osc.Data(), std::vector<int16_t>(609, 0));
    bare.PaintBreakpoints(); // no breakpoints: nothing to mark
}

TEST_F(WaveTest, ShowSamplesFillsTheWidthAndDrawsInactiveFirst)
{
    const std::vector<std::string> texts = {"100", "-200", "abc", "40000", "-40000", "", "12x"};
    struct Case {
        int64_t first;
        int32_t maxCount;
        std::vector<int16_t> head; // the first columns; the rest are 0
    };
    const Case cases[] = {
        {0, 609, {100, -200, 0, 32767, -32768}}, {1, 2, {-200}}, {-2, 609, {0, 0, 100, -200, 0, 32767, -32768}}, {7, 609, {}},
    };
    for (const Case &c : cases) {
        ShowSamples(&osc, texts, c.first, c.maxCount);
        std::vector<int16_t> want(609, 0);
        std::copy(c.head.begin(), c.head.end(), want.begin());
        EXPECT_EQ(osc.Data(), want) << c.first << " max " << c.maxCount;
    }
    ShowSamples(&osc, samples, 79, 609);
    EXPECT_EQ(osc.Data()[0], 79);

    EXPECT_EQ(Lit({0}), std::vector<bool>{false}); // at once all inactive
    QCoreApplication::processEvents();
    EXPECT_EQ(Lit({0}), std::vector<bool>{true}); // the next paint highlights again
}

} // namespace
} // namespace vorel::view
