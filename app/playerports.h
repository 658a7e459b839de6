// The repeater's player and timers over the real player and QTimer.
#pragma once

#include <QTimer>

#include "player.h"
#include "ports.h"

namespace vorel::app {

class TBassPlayer : public repeater::IPlayer {
public:
    explicit TBassPlayer(audio::TBass &bass) : bass_(bass) {}
    void Open(const std::string &path) override { bass_.Open(path); }
    bool HasFile() const override { return bass_.handle != 0; }
    bool HasOutput() const override { return bass_.HasOutput(); }
    void PlayRange(int32_t startMs, int32_t stopMs) override {
        bass_.PlayBytes(audio::MsToBytes(bass_.handle, bass_.info, startMs),
                        audio::MsToBytes(bass_.handle, bass_.info, stopMs));
    }
    void Pause() override { bass_.Pause(); }
    void Resume() override { bass_.Resume(); }
    void Stop() override { bass_.Stop(); }
    int32_t PositionMs() const override { return audio::CurrentPositionMs(bass_.handle); }
    void SetTempo(int percent) override { bass_.SetTempo(percent); }

private:
    audio::TBass &bass_;
};

class TTimerClock : public repeater::IClock {
public:
    TTimerClock(QTimer *play, QTimer *pause, QTimer *showPos, QTimer *load) : timers_{play, pause, showPos, load} {}
    void Start(repeater::TTimer t) override { timer(t)->start(); }
    void Stop(repeater::TTimer t) override { timer(t)->stop(); }
    bool IsActive(repeater::TTimer t) const override { return timers_[static_cast<int>(t)]->isActive(); }

private:
    QTimer *timer(repeater::TTimer t) { return timers_[static_cast<int>(t)]; }
    QTimer *timers_[4];
};

} // namespace vorel::app
