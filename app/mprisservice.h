// Desktop media control: the MPRIS 2 service on the session bus, through which
// media keys, headset buttons, the desktop's media controls and playerctl drive
// the repeater. The service knows the repeater only through TMprisTarget: a
// snapshot of what the transport may do now, and the transport buttons' own
// operations. GUI thread only.
#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vorel::repeater {
class TRepeater;
} // namespace vorel::repeater

namespace vorel::app {

enum class TPlayback { Stopped, Paused, Playing };

// What the desktop sees of the repeater at one moment.
struct TMprisState {
    TPlayback playback = TPlayback::Stopped;
    // The transport buttons' enabled states, false while nothing can act.
    bool canPlay = false, canPause = false, canStop = false, canGoNext = false, canGoPrevious = false;
    int64_t positionMs = 0, durationMs = 0;
    std::string file;            // the loaded file's path; empty without one
    int32_t sentence = -1;       // the current sentence from 0; -1 for none
    int32_t sentenceCount = 0;
    std::string sentenceText;    // the current sentence's text where it has one
};

// The repeater as the service drives it. The operations are those of the
// transport buttons; the service calls each only while its button could act.
class TMprisTarget {
public:
    virtual ~TMprisTarget() = default;
    virtual TMprisState MprisState() const = 0;
    virtual void MprisPlay() = 0;
    virtual void MprisPause() = 0;
    virtual void MprisStop() = 0;
    virtual void MprisNext() = 0;
    virtual void MprisPrevious() = 0;
    virtual void MprisRaise() = 0;
    virtual void MprisQuit() = 0;
};

inline const char *const MprisServiceName = "org.mpris.MediaPlayer2.vorel";
inline const char *const MprisObjectPath = "/org/mpris/MediaPlayer2";
inline const char *const MprisPlayerInterface = "org.mpris.MediaPlayer2.Player";
// The info line when the session bus goes away and when the service is back on a new one.
inline const char *const MprisLostNotice = "桌面媒体控制已断开（会话总线关闭），有新的会话总线时自动恢复";
inline const char *const MprisBackNotice = "桌面媒体控制已恢复";

// --- the rules, free of any bus ---

// The repeater's report as the desktop sees it: the same enabled states as the
// buttons; nothing can act while nothing is loaded or a load runs.
TMprisState MprisStateOf(const repeater::TRepeater &repeater);

// The types the program opens, as its desktop entry announces them.
QStringList MprisMimeTypes();
QString PlaybackStatusText(TPlayback playback);
// "第3/17句" for sentence index 2 of 17; empty without a sentence.
QString SentenceLabel(int32_t sentence, int32_t count);
// The Metadata map: the track is the current sentence of the loaded file. Texts
// are cut to MprisTextCap characters with an ellipsis: a desktop shows a line.
inline constexpr size_t MprisTextCap = 500;
QVariantMap MprisMetadata(const TMprisState &state);
// The player properties that change with the state, by their D-Bus names.
QVariantMap MprisPlayerProperties(const TMprisState &state);
// The entries of after that differ from before (or are new there).
QVariantMap ChangedProperties(const QVariantMap &before, const QVariantMap &after);
// Whether a position reading disagrees with where the earlier one, playing at
// normal speed for elapsedMs, would have gone: a new reading or a jump, which
// the desktop must be told as Seeked. Tempo changes stay within the tolerance
// for the few seconds between two state changes only; a stray Seeked is harmless.
bool PositionJumped(int64_t beforeMs, bool wasPlaying, int64_t elapsedMs, int64_t nowMs);

// The answer to Properties.Set of interface.property with value: empty where
// the value is taken, else the D-Bus error name (unknown interface or property,
// read-only, or a value of the wrong type: invalid arguments). An empty interface
// looks in both.
QString MprisSetRefusal(const QString &interface, const QString &property, const QVariant &value);

// How a method call is carried out on the target at the given state.
enum class TMprisAction { None, Play, Pause, Stop, Next, Previous };
TMprisAction ActionFor(const QString &method, const TMprisState &state);

// Opens a new connection to the session bus, each call under a name of its own
// (a dead connection keeps its name until dropped).
using TBusOpener = std::function<QDBusConnection()>;

// The service answers every call on its object itself, so that a wrong call gets
// the D-Bus error that fits it rather than Qt's internal one.
class TMprisService : public QDBusVirtualObject {
    Q_OBJECT
public:
    // Registers the service on bus; nullptr (after one line on stderr) when
    // there is no bus or the name is taken. The target must outlive the service.
    // With reopen, a bus that goes away is reported once (busLost) and the
    // service comes back on the next bus reopen reaches (busBack); bus and the
    // connections reopen made are then closed by the service.
    static std::unique_ptr<TMprisService> Start(TMprisTarget &target, const QDBusConnection &bus,
                                                TBusOpener reopen = {});
    ~TMprisService() override;

    bool Connected() const { return bus_.isConnected(); }
    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

    TMprisTarget &target() const { return target_; }
    TMprisState state() const { return target_.MprisState(); }
    // Carries out a player method by the rules above.
    void Call(const QString &method);

public slots:
    // The repeater's state may have changed. Once the event in hand has been
    // handled, what differs from the last announcement is sent as PropertiesChanged.
    void StateChanged();

signals:
    void Seeked(qlonglong positionUs);
    void busLost();
    void busBack();

private:
    TMprisService(TMprisTarget &target, const QDBusConnection &bus);
    void announce();
    QVariantMap properties(const QString &interface) const;
    bool registerOn(QDBusConnection bus);
    void watch();
    void retry();
    void drop(const QDBusConnection &bus);

    TMprisTarget &target_;
    QDBusConnection bus_;
    TBusOpener reopen_;
    QStringList opened_; // names of the connections reopen_ made
    QTimer watch_, retry_;
    int retryMs_ = 0;
    QVariantMap sent_; // the player properties as last announced
    int64_t lastPositionMs_ = 0;
    bool lastPlaying_ = false;
    QElapsedTimer sinceLast_;
    QTimer pending_;
};

} // namespace vorel::app
