// Helpers of the store's tests: a second, plain connection to the store's file
// (another instance, or a hand that damages it), sample records, and running a
// case as a user who may not write the store's folder.
#pragma once

#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "studystore.h"

namespace vorel::study::test {

// A connection of its own to a database file; queries run as given.
class TRawDb {
public:
    explicit TRawDb(const std::string &path);
    ~TRawDb();
    TRawDb(const TRawDb &) = delete;
    TRawDb &operator=(const TRawDb &) = delete;
    // Runs sql; false on failure.
    bool Exec(const QString &sql);
    // The first value of sql's first row, as text ("" when none).
    QString Value(const QString &sql);

private:
    QString name_;
    QSqlDatabase db_;
};

TFingerprint SampleFingerprint(int n);
// A record with every part set, distinct for each n.
TRecord SampleRecord(int n);
// Queues every part of record for fp.
void Queue(TStudyStore &store, const TFingerprint &fp, const TRecord &record);

// Runs body in a child process that may not write paths: as user nobody when we
// are root (root writes anywhere; paths must be root's and not writable by
// others), else with their write bits cleared for the run. Whatever else body
// writes must be writable by everyone. Expects body to return true.
void ExpectWithoutWriteAccess(const std::vector<std::string> &paths, const std::function<bool()> &body);

} // namespace vorel::study::test
