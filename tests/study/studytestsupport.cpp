#include "studytestsupport.h"

#include <gtest/gtest.h>

#include <QSqlQuery>
#include <QVariant>

#include <atomic>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace vorel::study::test {

TRawDb::TRawDb(const std::string &path) {
    static std::atomic<int> serial{0};
    name_ = QStringLiteral("raw-%1").arg(++serial);
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    db_.setDatabaseName(QString::fromStdString(path));
    db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
    EXPECT_TRUE(db_.open());
}

TRawDb::~TRawDb() {
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name_);
}

bool TRawDb::Exec(const QString &sql) {
    QSqlQuery q(db_);
    return q.exec(sql);
}

QString TRawDb::Value(const QString &sql) {
    QSqlQuery q(db_);
    return q.exec(sql) && q.next() ? q.value(0).toString() : QString();
}

TFingerprint SampleFingerprint(int n) {
    return {1000000 + n, 60000 + n, std::string(64, static_cast<char>('a' + n))};
}

TRecord SampleRecord(int n) {
    TRecord r;
    r.position = TPosition{4 + n, 12000 + n};
    r.breakpoints = TKeptBreakpoints{{{0, ""}, {3000 + n, "第一句"}, {7500, "second"}},
                                     TFileStamp{120, 1700000000000, std::string(64, 'f')}};
    r.settings = TSettings{3, 5 + n, 1, -20, {-30, -15, 0}};
    r.sentences = {{3000 + n, {2, true}}, {7500, {1, false}}, {9000, {0, true}}};
    return r;
}

void Queue(TStudyStore &store, const TFingerprint &fp, const TRecord &record) {
    if (record.position)
        store.SetPosition(fp, *record.position);
    if (record.breakpoints)
        store.KeepBreakpoints(fp, *record.breakpoints);
    if (record.settings)
        store.SetSettings(fp, *record.settings);
    for (const auto &[start, note] : record.sentences) {
        for (int i = 0; i < note.reads; ++i)
            store.CountReading(fp, start);
        if (note.marked)
            store.SetMarked(fp, start, true);
    }
}

void ExpectWithoutWriteAccess(const std::vector<std::string> &paths, const std::function<bool()> &body) {
    const bool root = ::geteuid() == 0;
    std::vector<mode_t> modes;
    for (const std::string &p : paths) {
        struct stat st {};
        ASSERT_EQ(::stat(p.c_str(), &st), 0) << p;
        modes.push_back(st.st_mode & 07777);
        if (!root) {
            ASSERT_EQ(::chmod(p.c_str(), modes.back() & ~0222), 0);
        }
    }
    EXPECT_EXIT(
        {
            if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                std::exit(3);
            for (const std::string &p : paths)
                if (::access(p.c_str(), W_OK) == 0)
                    std::exit(4);
            std::exit(body() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    for (size_t i = 0; i < paths.size(); ++i)
        ::chmod(paths[i].c_str(), modes[i]);
}

} // namespace vorel::study::test
