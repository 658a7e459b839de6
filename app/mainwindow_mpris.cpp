// The main window's repeater as the MPRIS service's target: its state from the
// repeater's report, its operations the repeater's own; raising and quitting are
// the window's.
#include "mainwindow.h"
#include "mprisservice.h"

#include <QDBusConnection>
#include <QTimer>

#include "guard.h"
#include "trace.h"
#include "transcriptwindow.h"

namespace vorel::app {

namespace {

class TRepeaterMpris : public QObject, public TMprisTarget {
public:
    explicit TRepeaterMpris(TfMainFree &window) : w_(window) {}

    TMprisState MprisState() const override {
        TMprisState s = MprisStateOf(w_.Repeater());
        // Dictation keeps the text from every screen, the desktop's too: its number shows.
        if (w_.SentenceTextHidden(s.sentence))
            s.sentenceText.clear();
        return s;
    }

    // The player's errors are shown as a click's would be.
    void MprisPlay() override { Guard([&] { w_.Repeater().Play(); }); }
    void MprisPause() override { Guard([&] { w_.Repeater().Pause(); }); }
    void MprisStop() override { Guard([&] { w_.Repeater().Stop(); }); }
    void MprisNext() override { Guard([&] { w_.Repeater().Next(); }); }
    void MprisPrevious() override { Guard([&] { w_.Repeater().Previous(); }); }
    void MprisRaise() override { w_.BringToFront(); }
    // After the call has been answered: closing may end the program.
    void MprisQuit() override { QTimer::singleShot(0, &w_, [this] { w_.close(); }); }

    std::unique_ptr<TMprisService> service;

private:
    TfMainFree &w_;
};

} // namespace

std::unique_ptr<QObject> StartMpris(TfMainFree &window) {
    auto link = std::make_unique<TRepeaterMpris>(window);
    // Connections of our own, so that one that died can be replaced.
    const auto open = [] {
        static int opened = 0;
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                             QStringLiteral("vorel-mpris-%1").arg(opened++));
    };
    link->service = TMprisService::Start(*link, open(), open);
    if (!link->service)
        return nullptr;
    QObject::connect(link->service.get(), &TMprisService::busLost, &window, [&window] {
        window.Repeater().ShowNotice(MprisLostNotice);
        Trace("mpris", "lost");
    });
    QObject::connect(link->service.get(), &TMprisService::busBack, &window, [&window] {
        window.Repeater().ShowNotice(MprisBackNotice);
        Trace("mpris", "back");
    });
    // The service sends what differs once the event in hand has been handled.
    QObject::connect(&window.Repeater(), &repeater::TRepeater::Changed, link->service.get(),
                     &TMprisService::StateChanged);
    QObject::connect(window.transcript, &TTranscriptWindow::dictationToggled, link->service.get(),
                     &TMprisService::StateChanged);
    return link;
}

} // namespace vorel::app
