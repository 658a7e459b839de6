// The about window: its version line and its link.
#include "aboutwindow.h"
#include "qtapp.h"
#include "resourcetable.h"
#include "waterimage.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace vorel::help;

namespace {

QColor linkColour(const TfAbout &about) { return about.linkLabel()->palette().color(QPalette::WindowText); }

// A move without buttons, as the window system delivers it to a tracking widget
// (QTest's offscreen moves only set the cursor).
void hover(QWidget *w, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

} // namespace

TEST(AboutWindow, VersionTextIsTheBuildsVersion) {
    vorel::test::qtApp();
    TfAbout about(QString::fromUtf8(vorel::resources::ProgramVersion()), QUrl());
    about.show();
    EXPECT_EQ(about.versionLabel()->text(), QStringLiteral("Version " VERSION_FOUR_PARTS " 免费体验版"));

    const struct {
        const char *version;
        const char *shown;
    } cases[] = {
        {"1.0.0.27", "Version 1.0.0.27 免费体验版"},
        {"2.3", "Version 2.3.0.0 免费体验版"},
        {"1.2.3.4.5", "Version 1.2.3.4 免费体验版"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(VersionText(QString::fromUtf8(c.version)), QString::fromUtf8(c.shown)) << c.version;
}

TEST(AboutWindow, LinkTurnsRedUnderThePointerAndOpensTheReadme) {
    vorel::test::qtApp();
    std::vector<QUrl> opened;
    const QUrl readme = QUrl::fromLocalFile("/usr/share/doc/vorel/README.md");
    TfAbout about(QStringLiteral("1.0"), readme, [&](const QUrl &u) { opened.push_back(u); });
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_EQ(linkColour(about), QColor(0, 0, 255));
    hover(about.linkLabel(), QPoint(5, 5));
    EXPECT_EQ(linkColour(about), QColor(255, 0, 0));
    hover(about.panel(), QPoint(10, 150));
    EXPECT_EQ(linkColour(about), QColor(0, 0, 255));

    QTest::mouseClick(about.linkLabel(), Qt::LeftButton);
    QTest::mouseClick(about.picture(), Qt::LeftButton, {}, QPoint(100, 30));
    QTest::mouseClick(about.linkLabel(), Qt::RightButton);
    EXPECT_EQ(opened, (std::vector<QUrl>{readme, readme}));

    QTest::mouseClick(about.okButton(), Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Rejected);
}

// The sunken panel shows all four edges on the white window: its light edges (right
// and bottom) must not be white too.
TEST(AboutWindow, PanelFrameHasAllFourEdges) {
    vorel::test::qtApp();
    TfAbout about(QStringLiteral("1.0"), QUrl());
    about.show();
    const QImage shot = about.grab().toImage();
    const QColor window = shot.pixelColor(2, 2);
    // Panel1 at (5, 7), 366 x 218: its edges at x 5 and 370, y 7 and 224.
    for (const QPoint edge : {QPoint(5, 150), QPoint(370, 150), QPoint(100, 7), QPoint(100, 224)})
        EXPECT_NE(shot.pixelColor(edge), window) << edge.x() << "," << edge.y();
}
