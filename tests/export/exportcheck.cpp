#include "exportcheck.h"

#include <mpg123.h>
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <fstream>

namespace vorel::exports::test {

std::vector<std::vector<std::string>> Query(const std::string &db, const std::string &sql) {
    std::vector<std::vector<std::string>> rows;
    sqlite3 *h = nullptr;
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << db;
        sqlite3_close(h);
        return rows;
    }
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
        ADD_FAILURE() << sql << ": " << sqlite3_errmsg(h);
    while (st && sqlite3_step(st) == SQLITE_ROW) {
        std::vector<std::string> row;
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(st, c));
            row.emplace_back(text ? text : "");
        }
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(st);
    sqlite3_close(h);
    return rows;
}

TPackage ReadPackage(const std::string &path, const std::string &folder) {
    TPackage p;
    p.folder = folder;
    QuaZip zip(QString::fromStdString(path));
    if (!zip.open(QuaZip::mdUnzip)) {
        ADD_FAILURE() << "not a zip: " << path;
        return p;
    }
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        QuaZipFile file(&zip);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        p.entries[zip.getCurrentFileName().toStdString()] = std::vector<uint8_t>(bytes.begin(), bytes.end());
    }
    const auto &db = p.entries["collection.anki2"];
    std::ofstream(folder + "/collection.anki2", std::ios::binary)
        .write(reinterpret_cast<const char *>(db.data()), static_cast<std::streamsize>(db.size()));
    const auto &media = p.entries["media"];
    const QJsonObject map =
        QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char *>(media.data()), media.size())).object();
    for (auto it = map.begin(); it != map.end(); ++it)
        p.media[it.key().toStdString()] = it.value().toString().toStdString();
    for (const auto &row : Query(folder + "/collection.anki2",
                                 "select id, guid, mid, flds, sfld, csum from notes order by id")) {
        TPackageNote n{std::stoll(row[0]), row[1], std::stoll(row[2]), {}, row[4], std::stoll(row[5])};
        size_t from = 0;
        for (size_t at; (at = row[3].find('\x1f', from)) != std::string::npos; from = at + 1)
            n.fields.push_back(row[3].substr(from, at - from));
        n.fields.push_back(row[3].substr(from));
        p.notes.push_back(std::move(n));
    }
    return p;
}

TDecoded DecodeMp3(const std::vector<uint8_t> &mp3) {
    TDecoded out;
    mpg123_handle *h = mpg123_new(nullptr, nullptr);
    mpg123_param(h, MPG123_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0);
    mpg123_open_feed(h);
    mpg123_feed(h, mp3.data(), mp3.size());
    long rate = 0;
    int channels = 0, encoding = 0;
    std::vector<unsigned char> buf(1 << 16);
    for (;;) {
        size_t done = 0;
        const int rc = mpg123_read(h, buf.data(), buf.size(), &done);
        if (rc == MPG123_NEW_FORMAT) {
            mpg123_getformat(h, &rate, &channels, &encoding);
            continue;
        }
        const auto *s = reinterpret_cast<const int16_t *>(buf.data());
        out.samples.insert(out.samples.end(), s, s + done / 2);
        if (rc != MPG123_OK)
            break;
    }
    mpg123_delete(h);
    out.rate = static_cast<int32_t>(rate);
    out.channels = channels;
    return out;
}

} // namespace vorel::exports::test
