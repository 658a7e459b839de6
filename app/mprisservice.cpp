#include "mprisservice.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

#include "repeater.h"

namespace vorel::app {

TMprisState MprisStateOf(const repeater::TRepeater &repeater) {
    TMprisState s;
    const repeater::TReport r = repeater.Report();
    const repeater::TLesson *lesson = repeater.Lesson();
    if (!lesson || r.busy)
        return s;
    s.canPlay = r.enabled.play;
    s.canPause = r.enabled.pause;
    s.canStop = r.enabled.stop;
    s.canGoNext = r.enabled.next;
    s.canGoPrevious = r.enabled.prev;
    // A countdown and a held reading go on with play: paused to the desktop.
    using P = repeater::TPlayback;
    s.playback = r.playback == P::Playing                             ? TPlayback::Playing
                 : r.playback == P::Paused || r.playback == P::PauseCountdown || r.held ? TPlayback::Paused
                                                                                        : TPlayback::Stopped;
    s.positionMs = r.sliderPosition;
    s.durationMs = lesson->info.duration;
    s.file = lesson->fileName;
    s.sentenceCount = r.sentenceCount;
    if (r.sentence >= 0 && r.sentence < r.sentenceCount) {
        s.sentence = r.sentence;
        s.sentenceText = lesson->segments->Items(r.sentence).Text;
    }
    return s;
}

QStringList MprisMimeTypes() {
    return QStringLiteral("audio/mpeg audio/x-wav audio/wav audio/vnd.wave audio/flac audio/x-flac audio/ogg "
                          "audio/x-vorbis+ogg audio/x-opus+ogg audio/opus audio/mp4 audio/x-m4a audio/x-m4b "
                          "video/mp4 video/x-m4v video/quicktime video/x-matroska audio/x-matroska video/webm "
                          "audio/webm")
        .split(u' ');
}

QString PlaybackStatusText(TPlayback playback) {
    switch (playback) {
    case TPlayback::Playing:
        return QStringLiteral("Playing");
    case TPlayback::Paused:
        return QStringLiteral("Paused");
    case TPlayback::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

QString SentenceLabel(int32_t sentence, int32_t count) {
    if (sentence < 0 || sentence >= count)
        return {};
    return QStringLiteral("第%1/%2句").arg(sentence + 1).arg(count);
}

QVariantMap MprisMetadata(const TMprisState &state) {
    QVariantMap m;
    if (state.file.empty()) {
        m[QStringLiteral("mpris:trackid")] =
            QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")));
        return m;
    }
    // A track is a sentence: next and previous move between them.
    const bool inSentence = !SentenceLabel(state.sentence, state.sentenceCount).isEmpty();
    const QString track = inSentence ? QStringLiteral("/org/vorel/sentence/%1").arg(state.sentence + 1)
                                     : QStringLiteral("/org/vorel/lesson");
    const QString path = QString::fromStdString(state.file);
    m[QStringLiteral("mpris:trackid")] = QVariant::fromValue(QDBusObjectPath(track));
    m[QStringLiteral("mpris:length")] = qlonglong(state.durationMs) * 1000;
    m[QStringLiteral("xesam:title")] = QFileInfo(path).fileName();
    m[QStringLiteral("xesam:url")] = QString::fromUtf8(QUrl::fromLocalFile(path).toEncoded());
    if (inSentence) {
        // Shown beside the title by the desktop's media controls.
        const QString text = QString::fromStdString(state.sentenceText).trimmed();
        m[QStringLiteral("xesam:artist")] =
            QStringList{text.isEmpty() ? SentenceLabel(state.sentence, state.sentenceCount) : text};
        m[QStringLiteral("xesam:trackNumber")] = state.sentence + 1;
    }
    return m;
}

QVariantMap MprisPlayerProperties(const TMprisState &state) {
    return {
        {QStringLiteral("PlaybackStatus"), PlaybackStatusText(state.playback)},
        {QStringLiteral("Metadata"), MprisMetadata(state)},
        {QStringLiteral("CanGoNext"), state.canGoNext},
        {QStringLiteral("CanGoPrevious"), state.canGoPrevious},
        {QStringLiteral("CanPlay"), state.canPlay},
        {QStringLiteral("CanPause"), state.canPause},
    };
}

QVariantMap ChangedProperties(const QVariantMap &before, const QVariantMap &after) {
    QVariantMap changed;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        const auto old = before.constFind(it.key());
        if (old == before.cend() || *old != it.value())
            changed.insert(it.key(), it.value());
    }
    return changed;
}

bool PositionJumped(int64_t beforeMs, bool wasPlaying, int64_t elapsedMs, int64_t nowMs) {
    const int64_t expected = beforeMs + (wasPlaying ? elapsedMs : 0);
    // The speed slider runs the file at 60 to 140 %: up to 40 % of the elapsed
    // time either way, plus the half second a position reading may lag.
    const int64_t tolerance = 500 + (wasPlaying ? elapsedMs * 2 / 5 : 0);
    return std::llabs(nowMs - expected) > tolerance;
}

TMprisAction ActionFor(const QString &method, const TMprisState &s) {
    const bool playing = s.playback == TPlayback::Playing;
    // Play and Pause do nothing where they would change nothing on the desktop's
    // side (playing, paused); the repeater's buttons decide everything else.
    if (method == QLatin1String("Play"))
        return s.canPlay && !playing ? TMprisAction::Play : TMprisAction::None;
    if (method == QLatin1String("Pause"))
        return s.canPause && playing ? TMprisAction::Pause : TMprisAction::None;
    if (method == QLatin1String("PlayPause"))
        return playing ? (s.canPause ? TMprisAction::Pause : TMprisAction::None)
                       : (s.canPlay ? TMprisAction::Play : TMprisAction::None);
    if (method == QLatin1String("Stop"))
        return s.canStop ? TMprisAction::Stop : TMprisAction::None;
    if (method == QLatin1String("Next"))
        return s.canGoNext ? TMprisAction::Next : TMprisAction::None;
    if (method == QLatin1String("Previous"))
        return s.canGoPrevious ? TMprisAction::Previous : TMprisAction::None;
    return TMprisAction::None;
}

namespace {

class TMprisRoot : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ yes)
    Q_PROPERTY(bool CanRaise READ yes)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    explicit TMprisRoot(TMprisService *service) : QDBusAbstractAdaptor(service), service_(service) {}
    bool yes() const { return true; }
    bool no() const { return false; }
    QString Identity() const { return QStringLiteral("Vorel语言复读机"); }
    QString DesktopEntry() const { return QStringLiteral("vorel"); }
    QStringList SupportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList SupportedMimeTypes() const { return MprisMimeTypes(); }

public slots:
    void Raise() { service_->target().MprisRaise(); }
    void Quit() { service_->target().MprisQuit(); }

private:
    TMprisService *service_;
};

// The speed stays the window's: the rate is always 1.0 and cannot be set.
class TMprisPlayer : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ one WRITE ignore)
    Q_PROPERTY(double MinimumRate READ one)
    Q_PROPERTY(double MaximumRate READ one)
    Q_PROPERTY(double Volume READ one WRITE ignore)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ no)
    Q_PROPERTY(bool CanControl READ yes)
public:
    explicit TMprisPlayer(TMprisService *service) : QDBusAbstractAdaptor(service), service_(service) {
        setAutoRelaySignals(true); // Seeked
    }
    double one() const { return 1.0; }
    void ignore(double) {}
    bool yes() const { return true; }
    bool no() const { return false; }
    QString PlaybackStatus() const { return PlaybackStatusText(service_->state().playback); }
    QVariantMap Metadata() const { return MprisMetadata(service_->state()); }
    qlonglong Position() const { return qlonglong(service_->state().positionMs) * 1000; }
    bool CanGoNext() const { return service_->state().canGoNext; }
    bool CanGoPrevious() const { return service_->state().canGoPrevious; }
    bool CanPlay() const { return service_->state().canPlay; }
    bool CanPause() const { return service_->state().canPause; }

public slots:
    void Next() { service_->Call(QStringLiteral("Next")); }
    void Previous() { service_->Call(QStringLiteral("Previous")); }
    void Pause() { service_->Call(QStringLiteral("Pause")); }
    void PlayPause() { service_->Call(QStringLiteral("PlayPause")); }
    void Stop() { service_->Call(QStringLiteral("Stop")); }
    void Play() { service_->Call(QStringLiteral("Play")); }
    // No seeking (CanSeek is false) and no opening by address: the calls are accepted and do nothing.
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath &, qlonglong) {}
    void OpenUri(const QString &) {}

signals:
    void Seeked(qlonglong Position);

private:
    TMprisService *service_;
};

void unavailable(const QString &why) {
    std::fprintf(stderr, "Vorelplay: media keys unavailable (no MPRIS service): %s\n", why.toLocal8Bit().constData());
}

} // namespace

TMprisService::TMprisService(TMprisTarget &target, const QDBusConnection &bus) : target_(target), bus_(bus) {
    new TMprisRoot(this);
    new TMprisPlayer(this);
    sent_ = MprisPlayerProperties(state());
    sinceLast_.start();
    pending_.setSingleShot(true);
    pending_.setInterval(0);
    connect(&pending_, &QTimer::timeout, this, &TMprisService::announce);
}

TMprisService::~TMprisService() {
    if (bus_.isConnected()) {
        bus_.unregisterService(QString::fromLatin1(MprisServiceName));
        bus_.unregisterObject(QString::fromLatin1(MprisObjectPath));
    }
}

std::unique_ptr<TMprisService> TMprisService::Start(TMprisTarget &target, const QDBusConnection &bus) {
    if (!bus.isConnected()) {
        const QString reason = bus.lastError().message();
        unavailable(reason.isEmpty() ? QStringLiteral("no session bus") : reason);
        return nullptr;
    }
    std::unique_ptr<TMprisService> service(new TMprisService(target, bus));
    QDBusConnection b = bus;
    if (!b.registerObject(QString::fromLatin1(MprisObjectPath), service.get(), QDBusConnection::ExportAdaptors)) {
        unavailable(QStringLiteral("cannot export %1").arg(QString::fromLatin1(MprisObjectPath)));
        return nullptr;
    }
    if (!b.registerService(QString::fromLatin1(MprisServiceName))) {
        b.unregisterObject(QString::fromLatin1(MprisObjectPath));
        const QString reason = b.lastError().message();
        unavailable(reason.isEmpty() ? QStringLiteral("%1 is taken").arg(QString::fromLatin1(MprisServiceName)) : reason);
        return nullptr;
    }
    return service;
}

void TMprisService::Call(const QString &method) {
    switch (ActionFor(method, state())) {
    case TMprisAction::Play:
        target_.MprisPlay();
        break;
    case TMprisAction::Pause:
        target_.MprisPause();
        break;
    case TMprisAction::Stop:
        target_.MprisStop();
        break;
    case TMprisAction::Next:
        target_.MprisNext();
        break;
    case TMprisAction::Previous:
        target_.MprisPrevious();
        break;
    case TMprisAction::None:
        break;
    }
}

void TMprisService::StateChanged() {
    if (!pending_.isActive())
        pending_.start();
}

void TMprisService::announce() {
    const TMprisState s = state();
    const QVariantMap now = MprisPlayerProperties(s);
    const QVariantMap changed = ChangedProperties(sent_, now);
    if (!changed.isEmpty()) {
        sent_ = now;
        QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(MprisObjectPath),
                                                         QStringLiteral("org.freedesktop.DBus.Properties"),
                                                         QStringLiteral("PropertiesChanged"));
        signal << QString::fromLatin1(MprisPlayerInterface) << changed << QStringList();
        bus_.send(signal);
    }
    // The desktop moves its position display on by itself while playing; a new
    // reading or a jump must be told.
    const bool playing = s.playback == TPlayback::Playing;
    if (playing && PositionJumped(lastPositionMs_, lastPlaying_, sinceLast_.elapsed(), s.positionMs))
        emit Seeked(qlonglong(s.positionMs) * 1000);
    lastPositionMs_ = s.positionMs;
    lastPlaying_ = playing;
    sinceLast_.restart();
}

} // namespace vorel::app

#include "mprisservice.moc"
