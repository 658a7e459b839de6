#include "mprisservice.h"

#include <QDBusVariant>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

#include "repeater.h"
#include "textcap.h"

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
        const QString text = QString::fromStdString(CapText(state.sentenceText, MprisTextCap)).trimmed();
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

const QString RootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// The properties a caller may set, with the only type each takes. The rate and the
// volume stay the window's: a value of the right type is taken and ignored.
bool writable(const QString &property) { return property == u"Rate" || property == u"Volume"; }

QVariantMap rootProperties() {
    return {
        {QStringLiteral("CanQuit"), true},
        {QStringLiteral("CanRaise"), true},
        {QStringLiteral("HasTrackList"), false},
        {QStringLiteral("Identity"), QStringLiteral("Vorel语言复读机")},
        {QStringLiteral("DesktopEntry"), QStringLiteral("vorel")},
        {QStringLiteral("SupportedUriSchemes"), QStringList{QStringLiteral("file")}},
        {QStringLiteral("SupportedMimeTypes"), MprisMimeTypes()},
    };
}

QVariantMap playerProperties(const TMprisState &s) {
    QVariantMap p = MprisPlayerProperties(s);
    // The speed stays the window's: the rate is always 1.0.
    for (const char *one : {"Rate", "MinimumRate", "MaximumRate", "Volume"})
        p.insert(QLatin1String(one), 1.0);
    p.insert(QStringLiteral("Position"), qlonglong(s.positionMs) * 1000);
    p.insert(QStringLiteral("CanSeek"), false);
    p.insert(QStringLiteral("CanControl"), true);
    return p;
}

// The methods of each interface with the signature of their arguments.
const std::pair<const char *, const char *> RootMethods[] = {{"Raise", ""}, {"Quit", ""}};
const std::pair<const char *, const char *> PlayerMethods[] = {
    {"Next", ""}, {"Previous", ""}, {"Pause", ""}, {"PlayPause", ""}, {"Stop", ""}, {"Play", ""},
    // No seeking (CanSeek is false) and no opening by address: accepted, nothing done.
    {"Seek", "x"}, {"SetPosition", "ox"}, {"OpenUri", "s"},
};

template <size_t N>
const char *signatureOf(const std::pair<const char *, const char *> (&methods)[N], const QString &member) {
    for (const auto &[name, signature] : methods)
        if (member == QLatin1String(name))
            return signature;
    return nullptr;
}

const char *const Introspection = R"(  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="DesktopEntry" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg name="Offset" type="x" direction="in"/></method>
    <method name="SetPosition"><arg name="TrackId" type="o" direction="in"/><arg name="Position" type="x" direction="in"/></method>
    <method name="OpenUri"><arg name="Uri" type="s" direction="in"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="Rate" type="d" access="readwrite"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="Volume" type="d" access="readwrite"/>
    <property name="Metadata" type="a{sv}" access="read">
      <annotation name="org.qtproject.QtDBus.QtTypeName" value="QVariantMap"/>
    </property>
    <property name="Position" type="x" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
)";

void unavailable(const QString &why) {
    std::fprintf(stderr, "Vorelplay: media keys unavailable (no MPRIS service): %s\n", why.toLocal8Bit().constData());
}

} // namespace

QString MprisSetRefusal(const QString &interface, const QString &property, const QVariant &value) {
    const bool root = interface.isEmpty() || interface == RootInterface;
    const bool player = interface.isEmpty() || interface == QLatin1String(MprisPlayerInterface);
    if (!root && !player)
        return QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface");
    const bool known = (root && rootProperties().contains(property)) ||
                       (player && playerProperties(TMprisState{}).contains(property));
    if (!known)
        return QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty");
    if (!player || !writable(property))
        return QStringLiteral("org.freedesktop.DBus.Error.PropertyReadOnly");
    if (value.metaType().id() != QMetaType::Double)
        return QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
    return {};
}

TMprisService::TMprisService(TMprisTarget &target, const QDBusConnection &bus) : target_(target), bus_(bus) {
    sent_ = MprisPlayerProperties(state());
    sinceLast_.start();
    pending_.setSingleShot(true);
    pending_.setInterval(0);
    connect(&pending_, &QTimer::timeout, this, &TMprisService::announce);
    // The bus says nothing to us when it goes away: looked at once a second.
    watch_.setInterval(1000);
    connect(&watch_, &QTimer::timeout, this, &TMprisService::watch);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &TMprisService::retry);
}

TMprisService::~TMprisService() {
    if (bus_.isConnected()) {
        bus_.unregisterService(QString::fromLatin1(MprisServiceName));
        bus_.unregisterObject(QString::fromLatin1(MprisObjectPath));
    }
    for (const QString &name : opened_)
        QDBusConnection::disconnectFromBus(name);
}

bool TMprisService::registerOn(QDBusConnection bus) {
    if (!bus.registerVirtualObject(QString::fromLatin1(MprisObjectPath), this)) {
        unavailable(QStringLiteral("cannot export %1").arg(QString::fromLatin1(MprisObjectPath)));
        return false;
    }
    if (!bus.registerService(QString::fromLatin1(MprisServiceName))) {
        bus.unregisterObject(QString::fromLatin1(MprisObjectPath));
        const QString reason = bus.lastError().message();
        unavailable(reason.isEmpty() ? QStringLiteral("%1 is taken").arg(QString::fromLatin1(MprisServiceName)) : reason);
        return false;
    }
    return true;
}

std::unique_ptr<TMprisService> TMprisService::Start(TMprisTarget &target, const QDBusConnection &bus,
                                                    TBusOpener reopen) {
    if (!bus.isConnected()) {
        const QString reason = bus.lastError().message();
        unavailable(reason.isEmpty() ? QStringLiteral("no session bus") : reason);
        return nullptr;
    }
    std::unique_ptr<TMprisService> service(new TMprisService(target, bus));
    if (!service->registerOn(bus))
        return nullptr;
    service->reopen_ = std::move(reopen);
    if (service->reopen_) {
        service->opened_.append(bus.name());
        service->watch_.start();
    }
    return service;
}

void TMprisService::drop(const QDBusConnection &bus) {
    if (opened_.removeOne(bus.name()))
        QDBusConnection::disconnectFromBus(bus.name());
}

void TMprisService::watch() {
    if (bus_.isConnected())
        return;
    watch_.stop();
    emit busLost();
    retryMs_ = 250;
    retry_.start(retryMs_);
}

void TMprisService::retry() {
    QDBusConnection bus = reopen_();
    opened_.append(bus.name());
    if (bus.isConnected() && registerOn(bus)) {
        drop(bus_);
        bus_ = bus;
        // The desktop asks for everything anew on a new bus.
        sent_ = MprisPlayerProperties(state());
        watch_.start();
        emit busBack();
        return;
    }
    drop(bus);
    // A bus that stays away is looked for less and less often, at most every 8 s.
    retryMs_ = std::min(retryMs_ * 2, 8000);
    retry_.start(retryMs_);
}

QVariantMap TMprisService::properties(const QString &interface) const {
    if (interface == RootInterface)
        return rootProperties();
    if (interface == QLatin1String(MprisPlayerInterface))
        return playerProperties(state());
    QVariantMap all = rootProperties();
    all.insert(playerProperties(state()));
    return all;
}

QString TMprisService::introspect(const QString &) const { return QString::fromUtf8(Introspection); }

bool TMprisService::handleMessage(const QDBusMessage &m, const QDBusConnection &connection) {
    const QString interface = m.interface(), member = m.member(), signature = m.signature();
    const QVariantList args = m.arguments();
    QDBusMessage reply;
    const auto error = [&](const QString &name, const QString &text) { reply = m.createErrorReply(name, text); };
    const auto invalid = [&] {
        error(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
              QStringLiteral("Invalid arguments for %1 (%2)").arg(member, signature));
    };
    const bool player = interface == QLatin1String(MprisPlayerInterface);
    if (interface == PropertiesInterface) {
        const QString in = args.value(0).toString();
        const bool knownInterface = in.isEmpty() || in == RootInterface || in == QLatin1String(MprisPlayerInterface);
        if ((member == u"Get" && signature == u"ss") || (member == u"GetAll" && signature == u"s") ||
            (member == u"Set" && signature == u"ssv")) {
            const QString property = args.value(1).toString();
            if (!knownInterface) {
                error(QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
                      QStringLiteral("No such interface %1").arg(in));
            } else if (member == u"GetAll") {
                reply = m.createReply(QVariant::fromValue(properties(in)));
            } else if (member == u"Get") {
                const QVariantMap all = properties(in);
                if (all.contains(property))
                    reply = m.createReply(QVariant::fromValue(QDBusVariant(all.value(property))));
                else
                    error(QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty"),
                          QStringLiteral("No such property %1").arg(property));
            } else {
                const QVariant value = args.value(2).value<QDBusVariant>().variant();
                const QString refusal = MprisSetRefusal(in, property, value);
                if (refusal.isEmpty())
                    reply = m.createReply();
                else
                    error(refusal, QStringLiteral("Cannot set %1 to a value of type %2")
                                       .arg(property, QString::fromLatin1(value.typeName())));
            }
        } else if (member == u"Get" || member == u"GetAll" || member == u"Set") {
            invalid();
        } else {
            error(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                  QStringLiteral("No such method %1").arg(member));
        }
    } else if (interface.isEmpty() || interface == RootInterface || player) {
        const char *rootSig = interface.isEmpty() || interface == RootInterface ? signatureOf(RootMethods, member) : nullptr;
        const char *playerSig = interface.isEmpty() || player ? signatureOf(PlayerMethods, member) : nullptr;
        const char *expected = rootSig ? rootSig : playerSig;
        if (!expected && interface.isEmpty())
            return false; // Introspect or Ping without their interface: Qt's
        if (!expected) {
            error(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                  QStringLiteral("No such method %1").arg(member));
        } else if (signature != QLatin1String(expected)) {
            invalid();
        } else {
            reply = m.createReply();
            // Answered before acting: quitting may end the program.
            if (m.isReplyRequired())
                QDBusConnection(connection).send(reply);
            reply = {};
            if (member == u"Raise")
                target_.MprisRaise();
            else if (member == u"Quit")
                target_.MprisQuit();
            else if (!*expected)
                Call(member);
        }
    } else {
        return false; // introspection and peer calls are Qt's
    }
    if (reply.type() != QDBusMessage::InvalidMessage && m.isReplyRequired())
        QDBusConnection(connection).send(reply);
    return true;
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
    if (playing && PositionJumped(lastPositionMs_, lastPlaying_, sinceLast_.elapsed(), s.positionMs)) {
        QDBusMessage seeked = QDBusMessage::createSignal(QString::fromLatin1(MprisObjectPath),
                                                         QString::fromLatin1(MprisPlayerInterface),
                                                         QStringLiteral("Seeked"));
        seeked << qlonglong(s.positionMs) * 1000;
        bus_.send(seeked);
        emit Seeked(qlonglong(s.positionMs) * 1000);
    }
    lastPositionMs_ = s.positionMs;
    lastPlaying_ = playing;
    sinceLast_.restart();
}

} // namespace vorel::app

