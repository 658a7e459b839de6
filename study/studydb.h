// The store's database work below its public interface: connections, the
// schema, the pragmas, telling faults apart, setting a damaged file aside and
// seeding an in-memory session from a file that can only be read. Same thread
// rules as the store.
#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QVariantList>

#include <string>

#include "studystore.h"

class QSqlQuery;

namespace vorel::study::detail {

inline constexpr int SchemaVersion = 1;

// One named Qt SQL connection over SQLite, removed at destruction. Every query
// on it must be gone by then.
class TConnection {
public:
    // file: a path, or ":memory:".
    TConnection(const QString &file, int busyTimeoutMs);
    ~TConnection();
    TConnection(const TConnection &) = delete;
    TConnection &operator=(const TConnection &) = delete;
    bool IsOpen() const { return db_.isOpen(); }
    QSqlDatabase &Db() { return db_; }

private:
    QString name_;
    QSqlDatabase db_;
};

// The fault an error of SQLite stands for; folder tells a read-only folder from
// other failures to open.
TStoreFault Classify(const QSqlError &error, const std::string &folder);

// Prepares q and runs it with values bound in order; error receives the failure.
bool Exec(QSqlQuery &q, const QString &sql, const QVariantList &values, QSqlError &error);

// Makes an opened file ready for writing: WAL, the integrity check, the schema
// created or checked in a write transaction. None, or the fault met.
TStoreFault PrepareFile(TConnection &c, const std::string &folder, int64_t maxPageCount);
// The schema in a fresh in-memory database; false only when memory is short.
bool PrepareMemory(TConnection &memory);
// Copies every record of the file at path into memory, read-only and best
// effort; immutable reads without taking locks (for a folder where SQLite
// cannot make its shared-memory file). False when nothing could be copied.
bool SeedFrom(TConnection &memory, const std::string &path, bool immutable);

// Moves a damaged file (and its write-ahead log) aside under a dated name and
// removes its shared-memory file. The new name, or empty when it could not move.
std::string SetAside(const std::string &path);

} // namespace vorel::study::detail
