#include "studystore.h"

#include <QDateTime>
#include <QDir>
#include <QSqlQuery>
#include <QStringList>

#include <filesystem>
#include <system_error>
#include <variant>

#include "studydb.h"

namespace vorel::study {

using detail::Exec;
using detail::TConnection;

namespace {

// The queued changes, replayed in order by a flush, and by a read that rolls them back.
struct TDrop {};
struct TRead {
    int32_t ms;
};
struct TMark {
    int32_t ms;
    bool marked;
};
struct TMove {
    int32_t from, to;
};
struct TForget {};
using TChange = std::variant<TPosition, TKeptBreakpoints, TSettings, TDrop, TRead, TMark, TMove, TForget>;
struct TOp {
    std::string key;
    TChange change;
};

template <class... F> struct TOverload : F... {
    using F::operator()...;
};

QString ladderText(const std::vector<int> &ladder) {
    QStringList parts;
    for (int speed : ladder)
        parts << QString::number(speed);
    return parts.join(QLatin1Char(','));
}

std::vector<int> ladderFrom(const QString &text) {
    std::vector<int> ladder;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        ladder.push_back(part.toInt());
    return ladder;
}

QVariant nullable(bool present, const QVariant &value) { return present ? value : QVariant(); }

} // namespace

std::string FaultNotice(TStoreFault fault, const std::string &setAside) {
    switch (fault) {
    case TStoreFault::None:
        return {};
    case TStoreFault::Locked:
        return "学习记录正被另一个Vorel使用，本次的学习进度不会保存";
    case TStoreFault::Damaged:
        return setAside.empty() ? "学习记录文件已损坏，本次的学习进度不会保存"
                                : "学习记录文件已损坏，已改名为“" + setAside + "”留存，并新建了学习记录";
    case TStoreFault::ReadOnly:
        return "学习记录的文件或所在文件夹不能写入，本次的学习进度不会保存";
    case TStoreFault::Full:
        return "磁盘已满，本次的学习进度不会保存";
    case TStoreFault::NewerVersion:
        return "学习记录来自较新版本的Vorel，本次的学习进度不会保存";
    case TStoreFault::Failed:
        return "学习记录无法打开，本次的学习进度不会保存";
    }
    return {};
}

struct TStudyStore::TImpl {
    std::string folder, path;
    TStoreOptions options;
    std::unique_ptr<TConnection> conn;
    bool persistent = false;
    TStoreFault fault = TStoreFault::None;
    std::vector<std::string> notices;
    std::vector<TOp> ops;

    void open();
    void degrade(TStoreFault f, bool seed);
    // The file failed with e: on in memory, from what the file holds unless it is damaged.
    void degradeAfter(const QSqlError &e) {
        const TStoreFault f = detail::Classify(e, folder);
        degrade(f, f != TStoreFault::Damaged);
    }
    bool replay(QSqlQuery &q, QSqlError &e);
    bool applyOne(QSqlQuery &q, int64_t rec, const TChange &change, QSqlError &e);
    bool flush();
    bool readRecord(const std::string &key, TRecord &record, QSqlError &e);

    void queue(const TFingerprint &fp, TChange change) {
        TOp op{fp.Key(), std::move(change)};
        // The latest position or settings of a recording replaces one queued just before.
        if (!ops.empty() && ops.back().key == op.key && ops.back().change.index() == op.change.index() &&
            (std::holds_alternative<TPosition>(op.change) || std::holds_alternative<TSettings>(op.change)))
            ops.back() = std::move(op);
        else
            ops.push_back(std::move(op));
    }

    // Replays the queued changes in a transaction, then runs body in it; keeps
    // it all when keep, else rolls it back, so that a read sees the queued
    // changes without writing them.
    template <class F> bool withQueued(bool keep, QSqlError &e, F body) {
        QSqlQuery q(conn->Db());
        if (!Exec(q, keep ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"), {}, e))
            return false;
        bool ok = replay(q, e);
        q.finish();
        ok = ok && body(e);
        if (ok && keep && Exec(q, QStringLiteral("COMMIT"), {}, e))
            return true;
        QSqlError ignored;
        Exec(q, QStringLiteral("ROLLBACK"), {}, ignored);
        return ok && !keep;
    }

    // Runs a read, queued changes included; when the file fails, the store goes
    // on in memory and the read runs there.
    template <class T, class F> T read(F f) {
        T result{};
        const auto run = [&] {
            QSqlError e;
            const auto body = [&](QSqlError &err) {
                result = T{};
                return f(result, err);
            };
            if (ops.empty() ? body(e) : withQueued(false, e, body))
                return true;
            if (persistent)
                degradeAfter(e);
            return false;
        };
        if (!run())
            run();
        return result;
    }
};

void TStudyStore::TImpl::open() {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        degrade(ec == std::errc::permission_denied || ec == std::errc::read_only_file_system ? TStoreFault::ReadOnly
                : ec == std::errc::no_space_on_device                                          ? TStoreFault::Full
                                                                                               : TStoreFault::Failed,
                false);
        return;
    }
    conn = std::make_unique<TConnection>(QString::fromStdString(path), options.busyTimeoutMs);
    TStoreFault f = detail::PrepareFile(*conn, folder, options.maxPageCount);
    if (f == TStoreFault::Damaged) {
        conn.reset();
        const std::string aside = detail::SetAside(path);
        if (aside.empty()) {
            degrade(TStoreFault::Damaged, false);
            return;
        }
        conn = std::make_unique<TConnection>(QString::fromStdString(path), options.busyTimeoutMs);
        f = detail::PrepareFile(*conn, folder, options.maxPageCount);
        if (f == TStoreFault::None) {
            persistent = true;
            fault = TStoreFault::Damaged;
            notices.push_back(FaultNotice(fault, aside));
            return;
        }
    }
    if (f != TStoreFault::None) {
        degrade(f, f != TStoreFault::Damaged);
        return;
    }
    persistent = true;
}

void TStudyStore::TImpl::degrade(TStoreFault f, bool seed) {
    conn = std::make_unique<TConnection>(QStringLiteral(":memory:"), options.busyTimeoutMs);
    detail::PrepareMemory(*conn);
    // Without locks only where SQLite cannot make its shared-memory file: under
    // another instance's lock the file may be half written.
    if (seed && !detail::SeedFrom(*conn, path, false) && f == TStoreFault::ReadOnly)
        detail::SeedFrom(*conn, path, true);
    persistent = false;
    fault = f;
    notices.push_back(FaultNotice(f));
}

bool TStudyStore::TImpl::applyOne(QSqlQuery &q, int64_t rec, const TChange &change, QSqlError &e) {
    return std::visit(
        TOverload{
            [&](const TPosition &p) {
                return Exec(q, QStringLiteral("UPDATE recording SET sentence = ?, sentence_ms = ? WHERE id = ?"),
                            {p.sentence, p.startMs, qint64(rec)}, e);
            },
            [&](const TSettings &s) {
                return Exec(q,
                            QStringLiteral("UPDATE recording SET repeat_index = ?, pause_index = ?, mode = ?, "
                                           "speed = ?, ladder = ? WHERE id = ?"),
                            {s.repeatIndex, s.pauseIndex, s.mode, s.speed, ladderText(s.ladder), qint64(rec)}, e);
            },
            [&](const TKeptBreakpoints &b) {
                if (!Exec(q, QStringLiteral("DELETE FROM breakpoint WHERE rec = ?"), {qint64(rec)}, e))
                    return false;
                for (size_t i = 0; i < b.points.size(); ++i)
                    if (!Exec(q, QStringLiteral("INSERT INTO breakpoint (rec, ord, ms, text) VALUES (?, ?, ?, ?)"),
                              {qint64(rec), qint64(i), b.points[i].ms, QString::fromStdString(b.points[i].text)}, e))
                        return false;
                const bool side = b.sideFile.has_value();
                return Exec(q,
                            QStringLiteral("UPDATE recording SET kept_breakpoints = 1, side_size = ?, "
                                           "side_mtime = ?, side_hash = ? WHERE id = ?"),
                            {nullable(side, side ? qint64(b.sideFile->size) : 0),
                             nullable(side, side ? qint64(b.sideFile->mtimeMs) : 0),
                             nullable(side, side ? QString::fromStdString(b.sideFile->hash) : QString()),
                             qint64(rec)},
                            e);
            },
            [&](const TDrop &) {
                return Exec(q, QStringLiteral("DELETE FROM breakpoint WHERE rec = ?"), {qint64(rec)}, e) &&
                       Exec(q,
                            QStringLiteral("UPDATE recording SET kept_breakpoints = 0, side_size = NULL, "
                                           "side_mtime = NULL, side_hash = NULL WHERE id = ?"),
                            {qint64(rec)}, e);
            },
            [&](const TRead &r) {
                return Exec(q,
                            QStringLiteral("INSERT INTO sentence (rec, start_ms, reads) VALUES (?, ?, 1) "
                                           "ON CONFLICT (rec, start_ms) DO UPDATE SET reads = reads + 1"),
                            {qint64(rec), r.ms}, e);
            },
            [&](const TMark &m) {
                return Exec(q,
                            QStringLiteral("INSERT INTO sentence (rec, start_ms, marked) VALUES (?, ?, ?) "
                                           "ON CONFLICT (rec, start_ms) DO UPDATE SET marked = excluded.marked"),
                            {qint64(rec), m.ms, int(m.marked)}, e);
            },
            [&](const TMove &m) {
                if (m.from == m.to)
                    return true;
                return Exec(q,
                            QStringLiteral("INSERT INTO sentence (rec, start_ms, reads, marked) "
                                           "SELECT rec, ?, reads, marked FROM sentence WHERE rec = ? AND start_ms = ? "
                                           "ON CONFLICT (rec, start_ms) DO UPDATE SET "
                                           "reads = reads + excluded.reads, marked = max(marked, excluded.marked)"),
                            {m.to, qint64(rec), m.from}, e) &&
                       Exec(q, QStringLiteral("DELETE FROM sentence WHERE rec = ? AND start_ms = ?"),
                            {qint64(rec), m.from}, e);
            },
            [&](const TForget &) {
                for (const char *sql : {"DELETE FROM breakpoint WHERE rec = ?", "DELETE FROM sentence WHERE rec = ?",
                                        "DELETE FROM recording WHERE id = ?"})
                    if (!Exec(q, QString::fromLatin1(sql), {qint64(rec)}, e))
                        return false;
                return true;
            },
        },
        change);
}

bool TStudyStore::TImpl::replay(QSqlQuery &q, QSqlError &e) {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    bool ok = true;
    for (const TOp &op : ops) {
        const QString key = QString::fromStdString(op.key);
        // A record to forget that does not exist needs no row.
        if (std::holds_alternative<TForget>(op.change)) {
            ok = Exec(q, QStringLiteral("SELECT id FROM recording WHERE key = ?"), {key}, e);
            if (ok && q.next()) {
                const int64_t rec = q.value(0).toLongLong();
                q.finish();
                ok = applyOne(q, rec, op.change, e);
            }
        } else {
            ok = Exec(q,
                      QStringLiteral("INSERT INTO recording (key, seen) VALUES (?, ?) "
                                     "ON CONFLICT (key) DO UPDATE SET seen = excluded.seen"),
                      {key, now}, e) &&
                 Exec(q, QStringLiteral("SELECT id FROM recording WHERE key = ?"), {key}, e) && q.next();
            if (ok) {
                const int64_t rec = q.value(0).toLongLong();
                q.finish();
                ok = applyOne(q, rec, op.change, e);
            }
        }
        if (!ok)
            break;
    }
    return ok;
}

bool TStudyStore::TImpl::flush() {
    if (ops.empty())
        return persistent;
    QSqlError e;
    const auto nothingMore = [](QSqlError &) { return true; };
    const bool written = withQueued(true, e, nothingMore);
    if (!written && persistent) {
        // The transaction rolled back: the file holds the last flush. The
        // session goes on in memory from there, with these changes.
        degradeAfter(e);
        withQueued(true, e, nothingMore);
    }
    ops.clear();
    return written && persistent;
}

bool TStudyStore::TImpl::readRecord(const std::string &key, TRecord &record, QSqlError &e) {
    QSqlQuery q(conn->Db());
    if (!Exec(q,
              QStringLiteral("SELECT id, sentence, sentence_ms, repeat_index, pause_index, mode, speed, ladder, "
                             "kept_breakpoints, side_size, side_mtime, side_hash FROM recording WHERE key = ?"),
              {QString::fromStdString(key)}, e))
        return false;
    if (!q.next())
        return true;
    const qint64 rec = q.value(0).toLongLong();
    if (!q.isNull(1))
        record.position = TPosition{q.value(1).toInt(), q.value(2).toInt()};
    if (!q.isNull(3))
        record.settings = TSettings{q.value(3).toInt(), q.value(4).toInt(), q.value(5).toInt(), q.value(6).toInt(),
                                    ladderFrom(q.value(7).toString())};
    const bool kept = q.value(8).toBool();
    std::optional<TFileStamp> side;
    if (!q.isNull(11))
        side = TFileStamp{q.value(9).toLongLong(), q.value(10).toLongLong(), q.value(11).toString().toStdString()};
    q.finish();
    if (kept) {
        TKeptBreakpoints b{{}, side};
        if (!Exec(q, QStringLiteral("SELECT ms, text FROM breakpoint WHERE rec = ? ORDER BY ord"), {rec}, e))
            return false;
        while (q.next())
            b.points.push_back({q.value(0).toInt(), q.value(1).toString().toStdString()});
        record.breakpoints = std::move(b);
    }
    // A sentence unmarked and never read carries nothing.
    if (!Exec(q,
              QStringLiteral("SELECT start_ms, reads, marked FROM sentence WHERE rec = ? AND "
                             "(reads > 0 OR marked <> 0) ORDER BY start_ms"),
              {rec}, e))
        return false;
    while (q.next())
        record.sentences[q.value(0).toInt()] = {q.value(1).toInt(), q.value(2).toBool()};
    return true;
}

std::string TStudyStore::DefaultFolder() {
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    const QString base = !xdg.isEmpty() && QDir::isAbsolutePath(xdg) ? xdg : QDir::homePath() + "/.local/share";
    return (base + QStringLiteral("/vorel")).toStdString();
}

TStudyStore::TStudyStore(const std::string &folder, const TStoreOptions &options) : d_(std::make_unique<TImpl>()) {
    d_->folder = folder;
    d_->path = folder + "/" + FileName;
    d_->options = options;
    d_->open();
}

TStudyStore::~TStudyStore() { d_->flush(); }

bool TStudyStore::Persistent() const { return d_->persistent; }
TStoreFault TStudyStore::Fault() const { return d_->fault; }

std::vector<std::string> TStudyStore::TakeNotices() { return std::exchange(d_->notices, {}); }

TRecord TStudyStore::Load(const TFingerprint &fp) {
    return d_->read<TRecord>([&](TRecord &r, QSqlError &e) { return d_->readRecord(fp.Key(), r, e); });
}

std::vector<int32_t> TStudyStore::MarkedSentences(const TFingerprint &fp) {
    std::vector<int32_t> marked;
    for (const auto &[start, note] : Load(fp).sentences)
        if (note.marked)
            marked.push_back(start);
    return marked;
}

void TStudyStore::SetPosition(const TFingerprint &fp, const TPosition &position) { d_->queue(fp, position); }
void TStudyStore::KeepBreakpoints(const TFingerprint &fp, const TKeptBreakpoints &b) { d_->queue(fp, b); }
void TStudyStore::DropBreakpoints(const TFingerprint &fp) { d_->queue(fp, TDrop{}); }
void TStudyStore::SetSettings(const TFingerprint &fp, const TSettings &settings) { d_->queue(fp, settings); }
void TStudyStore::CountReading(const TFingerprint &fp, int32_t startMs) { d_->queue(fp, TRead{startMs}); }
void TStudyStore::SetMarked(const TFingerprint &fp, int32_t startMs, bool marked) {
    d_->queue(fp, TMark{startMs, marked});
}
void TStudyStore::MoveSentence(const TFingerprint &fp, int32_t fromMs, int32_t toMs) {
    d_->queue(fp, TMove{fromMs, toMs});
}
void TStudyStore::Forget(const TFingerprint &fp) { d_->queue(fp, TForget{}); }

bool TStudyStore::Pending() const { return !d_->ops.empty(); }
bool TStudyStore::Flush() { return d_->flush(); }

} // namespace vorel::study
