#include "studydb.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSqlQuery>
#include <QUrl>

#include <atomic>
#include <optional>
#include <cstdio>
#include <unistd.h>

namespace vorel::study::detail {

namespace {

// Every record lives in three tables keyed by the recording's row. NULL columns
// stand for parts of the record never set.
const char *const SchemaSql[] = {
    "CREATE TABLE recording ("
    " id INTEGER PRIMARY KEY,"
    " key TEXT NOT NULL UNIQUE,"
    " seen INTEGER NOT NULL," // ms since the epoch of the last change
    " sentence INTEGER, sentence_ms INTEGER,"
    " repeat_index INTEGER, pause_index INTEGER, mode INTEGER, speed INTEGER, ladder TEXT,"
    " kept_breakpoints INTEGER NOT NULL DEFAULT 0,"
    " side_size INTEGER, side_mtime INTEGER, side_hash TEXT)",
    "CREATE TABLE breakpoint ("
    " rec INTEGER NOT NULL, ord INTEGER NOT NULL, ms INTEGER NOT NULL, text TEXT NOT NULL,"
    " PRIMARY KEY (rec, ord)) WITHOUT ROWID",
    "CREATE TABLE sentence ("
    " rec INTEGER NOT NULL, start_ms INTEGER NOT NULL,"
    " reads INTEGER NOT NULL DEFAULT 0, marked INTEGER NOT NULL DEFAULT 0,"
    " PRIMARY KEY (rec, start_ms)) WITHOUT ROWID",
};
const char *const Tables[] = {"recording", "breakpoint", "sentence"};

bool createSchema(QSqlQuery &q, QSqlError &e) {
    for (const char *sql : SchemaSql)
        if (!Exec(q, sql, {}, e))
            return false;
    return Exec(q, QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion), {}, e);
}

// The first value of a one-row query, or an invalid value.
QVariant scalar(QSqlQuery &q, const QString &sql, QSqlError &e) {
    if (!Exec(q, sql, {}, e) || !q.next())
        return {};
    QVariant v = q.value(0);
    q.finish();
    return v;
}

bool exists(const std::string &path) { return ::access(path.c_str(), F_OK) == 0; }

} // namespace

TConnection::TConnection(const QString &file, int busyTimeoutMs) {
    static std::atomic<int> serial{0};
    name_ = QStringLiteral("vorel-study-%1").arg(++serial);
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    db_.setDatabaseName(file);
    db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1;QSQLITE_OPEN_URI").arg(busyTimeoutMs));
    db_.open();
}

TConnection::~TConnection() {
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name_);
}

TStoreFault Classify(const QSqlError &error, const std::string &folder) {
    switch (error.nativeErrorCode().toInt() & 0xff) {
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        return TStoreFault::Locked;
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        return TStoreFault::Damaged;
    case 13: // SQLITE_FULL
        return TStoreFault::Full;
    case 8: // SQLITE_READONLY
        return TStoreFault::ReadOnly;
    default:
        // Failing to open or to make the journal in a folder we may not write.
        return ::access(folder.c_str(), W_OK) == 0 ? TStoreFault::Failed : TStoreFault::ReadOnly;
    }
}

bool Exec(QSqlQuery &q, const QString &sql, const QVariantList &values, QSqlError &error) {
    if (!q.prepare(sql)) {
        error = q.lastError();
        return false;
    }
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        error = q.lastError();
        return false;
    }
    return true;
}

TStoreFault PrepareFile(TConnection &c, const std::string &folder, int64_t maxPageCount) {
    if (!c.IsOpen())
        return Classify(c.Db().lastError(), folder);
    QSqlQuery q(c.Db());
    QSqlError e;
    const auto fail = [&] {
        q.finish();
        QSqlQuery(c.Db()).exec(QStringLiteral("ROLLBACK"));
        return Classify(e, folder);
    };
    // Checked before anything is written: a damaged, foreign or newer file is
    // left exactly as it was.
    const QVariant check = scalar(q, QStringLiteral("PRAGMA quick_check"), e);
    if (!check.isValid())
        return fail();
    if (check.toString() != QLatin1String("ok"))
        return TStoreFault::Damaged;
    // The file's schema version: 0 for a fresh file; nullopt on a failed read
    // (e holds why); NewerVersion and foreign files are judged by the caller.
    const auto lookAtVersion = [&]() -> std::optional<int> {
        const QVariant version = scalar(q, QStringLiteral("PRAGMA user_version"), e);
        const QVariant tables = scalar(q, QStringLiteral("SELECT count(*) FROM sqlite_master"), e);
        if (!version.isValid() || !tables.isValid())
            return std::nullopt;
        // A database, but not ours, counts as damaged: it is set aside.
        return version.toInt() == 0 && tables.toInt() > 0 ? -1 : version.toInt();
    };
    const auto judge = [&](std::optional<int> version) {
        return !version                       ? fail()
               : *version < 0                 ? TStoreFault::Damaged
               : *version > SchemaVersion     ? TStoreFault::NewerVersion
                                              : TStoreFault::None;
    };
    if (const TStoreFault f = judge(lookAtVersion()); f != TStoreFault::None)
        return f;
    // A file that cannot be written keeps its journal mode here and shows itself
    // at the write below.
    if (!Exec(q, QStringLiteral("PRAGMA journal_mode = WAL"), {}, e) ||
        !Exec(q, QStringLiteral("PRAGMA synchronous = NORMAL"), {}, e))
        return fail();
    if (maxPageCount > 0 && !Exec(q, QStringLiteral("PRAGMA max_page_count = %1").arg(maxPageCount), {}, e))
        return fail();

    if (!Exec(q, QStringLiteral("BEGIN IMMEDIATE"), {}, e))
        return fail();
    // Another instance may have made the schema since the look above.
    const std::optional<int> version = lookAtVersion();
    if (const TStoreFault f = judge(version); f != TStoreFault::None) {
        fail();
        return f;
    }
    // Later versions migrate from older ones here, inside this transaction. The
    // version is written even when it stands, so a file that cannot be written
    // tells at once, not at the first flush.
    const bool ok = *version == 0
                        ? createSchema(q, e)
                        : Exec(q, QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion), {}, e);
    if (!ok || !Exec(q, QStringLiteral("COMMIT"), {}, e))
        return fail();
    return TStoreFault::None;
}

bool PrepareMemory(TConnection &memory) {
    if (!memory.IsOpen())
        return false;
    QSqlQuery q(memory.Db());
    QSqlError e;
    return createSchema(q, e);
}

bool SeedFrom(TConnection &memory, const std::string &path, bool immutable) {
    if (!exists(path))
        return false;
    const QString uri = QUrl::fromLocalFile(QString::fromStdString(path)).toString(QUrl::FullyEncoded) +
                        (immutable ? QStringLiteral("?immutable=1") : QStringLiteral("?mode=ro"));
    QSqlQuery q(memory.Db());
    QSqlError e;
    if (!Exec(q, QStringLiteral("ATTACH DATABASE ? AS src"), {uri}, e))
        return false;
    bool ok = scalar(q, QStringLiteral("PRAGMA src.user_version"), e).toInt() == SchemaVersion &&
              Exec(q, QStringLiteral("BEGIN"), {}, e);
    for (const char *table : Tables)
        ok = ok && Exec(q, QStringLiteral("INSERT INTO main.%1 SELECT * FROM src.%1").arg(QLatin1String(table)), {}, e);
    ok = ok && Exec(q, QStringLiteral("COMMIT"), {}, e);
    if (!ok)
        Exec(q, QStringLiteral("ROLLBACK"), {}, e);
    q.finish();
    Exec(q, QStringLiteral("DETACH DATABASE src"), {}, e);
    return ok;
}

std::string SetAside(const std::string &path) {
    const QFileInfo info(QString::fromStdString(path));
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    std::string target, name;
    for (int n = 1; n < 100 && (target.empty() || exists(target)); ++n) {
        name = (info.completeBaseName() + QStringLiteral("-damaged-") + stamp +
                (n > 1 ? QStringLiteral("-%1").arg(n) : QString()) + QLatin1Char('.') + info.suffix())
                   .toStdString();
        target = info.absolutePath().toStdString() + "/" + name;
    }
    if (exists(target) || std::rename(path.c_str(), target.c_str()) != 0)
        return {};
    // The log belongs to the damaged file: a fresh file must never replay it.
    const std::string wal = path + "-wal";
    if (exists(wal) && std::rename(wal.c_str(), (target + "-wal").c_str()) != 0)
        std::remove(wal.c_str());
    std::remove((path + "-shm").c_str());
    return name;
}

} // namespace vorel::study::detail
