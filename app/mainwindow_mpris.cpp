// The main window as the MPRIS service's target: the state from the same
// enabled states as the transport buttons, the operations through the buttons'
// own handlers.
#include "mainwindow.h"
#include "mprisservice.h"

#include <QDBusConnection>
#include <QTimer>
#include <QToolButton>

#include "guard.h"
#include "segment/segmentlist.h"

namespace vorel::app {

namespace {

class TWindowMpris : public QObject, public TMprisTarget {
public:
    explicit TWindowMpris(TfMainFree &window) : w_(window) {}

    TMprisState MprisState() const override {
        TMprisState s;
        if (w_.fileName.empty() || w_.busy) // nothing acts during a load
            return s;
        const TTransportState t = w_.TransportState();
        s.canPlay = w_.playbtn->isEnabled();
        s.canPause = t.pause;
        s.canStop = t.stop;
        s.canGoNext = t.next;
        s.canGoPrevious = t.prev;
        // A countdown, a hold and the wait of the rule "暂停" go on with play: paused.
        const bool held = w_.resumeArmed && t.stop;
        const bool waiting = !w_.playing && w_.StatusText() == "暂停...";
        s.playback = w_.playing && !w_.paused ? TPlayback::Playing
                     : w_.paused || w_.timer_pause->isActive() || held || waiting ? TPlayback::Paused
                                                                                   : TPlayback::Stopped;
        s.positionMs = w_.CurrentPositionMs();
        s.durationMs = w_.Duration();
        s.file = w_.fileName;
        s.sentenceCount = w_.SentenceCount();
        if (w_.curSentence >= 0 && w_.curSentence < s.sentenceCount) {
            s.sentence = w_.curSentence;
            s.sentenceText = w_.segments->Items(w_.curSentence).Text;
        }
        return s;
    }

    void MprisPlay() override { Guard([&] { w_.playbtnClick(); }); }
    void MprisPause() override { Guard([&] { w_.pausebtnClick(); }); }
    void MprisStop() override { Guard([&] { w_.stopbtnClick(); }); }
    void MprisNext() override { Guard([&] { w_.nextbtnClick(); }); }
    void MprisPrevious() override { Guard([&] { w_.prevbtnClick(); }); }
    void MprisRaise() override { w_.BringToFront(); }
    // After the call has been answered: closing may end the program.
    void MprisQuit() override { QTimer::singleShot(0, &w_, [this] { w_.close(); }); }

    std::unique_ptr<TMprisService> service;

private:
    TfMainFree &w_;
};

} // namespace

std::unique_ptr<QObject> StartMpris(TfMainFree &window) {
    auto link = std::make_unique<TWindowMpris>(window);
    link->service = TMprisService::Start(*link, QDBusConnection::sessionBus());
    if (!link->service)
        return nullptr;
    QObject::connect(&window, &TfMainFree::StateChanged, link->service.get(), &TMprisService::StateChanged);
    return link;
}

} // namespace vorel::app
