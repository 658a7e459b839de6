#include "ankicollection.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include "exporterror.h"

namespace vorel::exports {

namespace {

// Anki's legacy collection, table for table and index for index.
const char *const LegacySchema[] = {
    "create table col (id integer primary key, crt integer not null, mod integer not null,"
    " scm integer not null, ver integer not null, dty integer not null, usn integer not null,"
    " ls integer not null, conf text not null, models text not null, decks text not null,"
    " dconf text not null, tags text not null)",
    "create table notes (id integer primary key, guid text not null, mid integer not null,"
    " mod integer not null, usn integer not null, tags text not null, flds text not null,"
    " sfld integer not null, csum integer not null, flags integer not null, data text not null)",
    "create table cards (id integer primary key, nid integer not null, did integer not null,"
    " ord integer not null, mod integer not null, usn integer not null, type integer not null,"
    " queue integer not null, due integer not null, ivl integer not null, factor integer not null,"
    " reps integer not null, lapses integer not null, left integer not null, odue integer not null,"
    " odid integer not null, flags integer not null, data text not null)",
    "create table revlog (id integer primary key, cid integer not null, usn integer not null,"
    " ease integer not null, ivl integer not null, lastIvl integer not null, factor integer not null,"
    " time integer not null, type integer not null)",
    "create table graves (usn integer not null, oid integer not null, type integer not null)",
    "create index ix_notes_usn on notes (usn)",
    "create index ix_cards_usn on cards (usn)",
    "create index ix_revlog_usn on revlog (usn)",
    "create index ix_cards_nid on cards (nid)",
    "create index ix_cards_sched on cards (did, queue, due)",
    "create index ix_revlog_cid on revlog (cid)",
    "create index ix_notes_csum on notes (csum)",
};

constexpr qint64 DefaultDeckId = 1;
constexpr qint64 DefaultConfId = 1;
const char *const FieldNames[FieldCount] = {"Sound", "Text", "Before", "After", "Source"};

const char *const FrontTemplate = "{{Sound}}";
const char *const BackTemplate =
    "{{FrontSide}}<hr id=answer><div class=text>{{Text}}</div>"
    "<div class=context>{{#Before}}<div>{{Before}}</div>{{/Before}}{{#After}}<div>{{After}}</div>{{/After}}</div>"
    "<div class=source>{{Source}}</div>";
const char *const Css =
    ".card { font-family: sans-serif; font-size: 22px; text-align: center; }\n"
    ".context { color: #777; font-size: 16px; margin-top: 1em; }\n"
    ".source { color: #999; font-size: 12px; margin-top: 1em; }\n";

// A deck's id from its name, so that a second package fills the same deck.
int64_t deckIdOf(const std::string &name) {
    const QByteArray h = QCryptographicHash::hash(QByteArray::fromStdString(name), QCryptographicHash::Sha1);
    int64_t id = 0;
    for (int i = 0; i < 5; ++i)
        id = id << 8 | static_cast<uint8_t>(h[i]);
    return id + 2; // never the default deck
}

QJsonArray zeros() { return QJsonArray{0, 0}; }

QJsonObject deck(qint64 id, const QString &name, qint64 modS) {
    return QJsonObject{{"id", id},           {"name", name},          {"mod", modS},         {"usn", -1},
                       {"lrnToday", zeros()}, {"revToday", zeros()},   {"newToday", zeros()}, {"timeToday", zeros()},
                       {"collapsed", false}, {"browserCollapsed", false}, {"desc", ""},       {"dyn", 0},
                       {"conf", DefaultConfId}, {"extendNew", 0},      {"extendRev", 0}};
}

QJsonObject noteType(qint64 deckId, qint64 modS) {
    QJsonArray fields;
    for (int i = 0; i < FieldCount; ++i)
        fields.append(QJsonObject{{"name", FieldNames[i]}, {"ord", i},      {"sticky", false}, {"rtl", false},
                                  {"font", "Arial"},       {"size", 20},    {"media", QJsonArray{}}});
    const QJsonObject card{{"name", "Listen"}, {"ord", 0},       {"qfmt", FrontTemplate}, {"afmt", BackTemplate},
                           {"did", QJsonValue::Null}, {"bqfmt", ""}, {"bafmt", ""}};
    return QJsonObject{
        {"id", qint64(NoteTypeId)},
        {"name", "Vorel sentence"},
        {"type", 0},
        {"mod", modS},
        {"usn", -1},
        {"sortf", FieldText},
        {"did", deckId},
        {"tmpls", QJsonArray{card}},
        {"flds", fields},
        {"css", Css},
        {"latexPre", "\\documentclass[12pt]{article}\n\\special{papersize=3in,5in}\n\\usepackage[utf8]{inputenc}\n"
                     "\\usepackage{amssymb,amsmath}\n\\pagestyle{empty}\n\\setlength{\\parindent}{0in}\n"
                     "\\begin{document}\n"},
        {"latexPost", "\\end{document}"},
        {"latexsvg", false},
        {"req", QJsonArray{QJsonArray{0, "any", QJsonArray{FieldSound}}}},
        {"tags", QJsonArray{}},
        {"vers", QJsonArray{}},
    };
}

QJsonObject deckConf() {
    return QJsonObject{
        {"id", DefaultConfId}, {"name", "Default"}, {"mod", 0}, {"usn", 0}, {"maxTaken", 60}, {"autoplay", true},
        {"timer", 0}, {"replayq", true}, {"dyn", false},
        {"new", QJsonObject{{"bury", false}, {"delays", QJsonArray{1.0, 10.0}}, {"initialFactor", 2500},
                            {"ints", QJsonArray{1, 4, 0}}, {"order", 1}, {"perDay", 20}}},
        {"rev", QJsonObject{{"bury", false}, {"ease4", 1.3}, {"ivlFct", 1.0}, {"maxIvl", 36500},
                            {"perDay", 200}, {"hardFactor", 1.2}}},
        {"lapse", QJsonObject{{"delays", QJsonArray{10.0}}, {"leechAction", 1}, {"leechFails", 8},
                              {"minInt", 1}, {"mult", 0.0}}},
    };
}

QString json(const QJsonObject &o) { return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)); }

// One connection, removed with the object (Qt's rule: no query may outlive it).
class Connection {
public:
    explicit Connection(const std::string &path)
        : name_(QUuid::createUuid().toString(QUuid::WithoutBraces)) {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name_);
        db.setDatabaseName(QString::fromStdString(path));
        if (!db.open())
            raise(db.lastError(), path);
    }
    ~Connection() {
        {
            QSqlDatabase db = QSqlDatabase::database(name_, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name_);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(name_, false); }

    [[noreturn]] static void raise(const QSqlError &error, const std::string &path) {
        // SQLITE_FULL: the disk; anything else counts as a place we cannot write.
        const bool full = error.nativeErrorCode() == "13";
        throw EExportError(full ? TExportFault::DiskFull : TExportFault::Unwritable, path, error.text().toStdString());
    }

private:
    QString name_;
};

void exec(QSqlQuery &q, const std::string &path) {
    if (!q.exec())
        Connection::raise(q.lastError(), path);
}

} // namespace

std::string StripHtml(const std::string &html) {
    QString text = QString::fromStdString(html);
    static const QRegularExpression tag("<[^>]*>");
    text.remove(tag);
    // The entities our own escaping writes; &amp; last, so "&amp;lt;" stays "&lt;".
    text.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&nbsp;", " ").replace("&amp;", "&");
    return text.toStdString();
}

int64_t FieldChecksum(const std::string &plainText) {
    const QByteArray h = QCryptographicHash::hash(QByteArray::fromStdString(plainText), QCryptographicHash::Sha1);
    return h.left(4).toHex().toLongLong(nullptr, 16);
}

void WriteCollection(const std::string &path, const std::string &deckName, const std::vector<TAnkiNote> &notes,
                     int64_t nowMs) {
    Connection connection(path);
    QSqlDatabase db = connection.db();
    QSqlQuery q(db);
    const auto run = [&](const QString &sql) {
        if (!q.exec(sql))
            Connection::raise(q.lastError(), path);
    };
    // The page size and journal Anki's own writer leaves in a legacy package.
    run("pragma page_size = 4096");
    run("pragma journal_mode = delete");
    for (const char *sql : LegacySchema)
        run(sql);
    db.transaction();

    const qint64 modS = nowMs / 1000;
    const qint64 deckId = deckIdOf(deckName);
    const QString name = QString::fromStdString(deckName);
    const QJsonObject decks{{QString::number(DefaultDeckId), deck(DefaultDeckId, "Default", modS)},
                            {QString::number(deckId), deck(deckId, name, modS)}};
    const QJsonObject models{{QString::number(NoteTypeId), noteType(deckId, modS)}};
    const QJsonObject conf{{"activeDecks", QJsonArray{deckId}}, {"curDeck", deckId},      {"newSpread", 0},
                           {"collapseTime", 1200},              {"timeLim", 0},           {"estTimes", true},
                           {"dueCounts", true},                 {"curModel", QString::number(NoteTypeId)},
                           {"nextPos", static_cast<qint64>(notes.size()) + 1},
                           {"sortType", "noteFld"},             {"sortBackwards", false}, {"addToCur", true}};
    q.prepare("insert into col values (1, ?, ?, ?, 11, 0, 0, 0, ?, ?, ?, ?, '{}')");
    q.addBindValue(qint64(modS - modS % 86400));
    q.addBindValue(qint64(nowMs));
    q.addBindValue(qint64(nowMs));
    q.addBindValue(json(conf));
    q.addBindValue(json(models));
    q.addBindValue(json(decks));
    q.addBindValue(json(QJsonObject{{QString::number(DefaultConfId), deckConf()}}));
    exec(q, path);

    QSqlQuery note(db), card(db);
    note.prepare("insert into notes values (?, ?, ?, ?, -1, '', ?, ?, ?, 0, '')");
    card.prepare("insert into cards values (?, ?, ?, 0, ?, -1, 0, 0, ?, 0, 0, 0, 0, 0, 0, 0, 0, '')");
    for (size_t i = 0; i < notes.size(); ++i) {
        const TAnkiNote &n = notes[i];
        QStringList fields;
        for (int f = 0; f < FieldCount; ++f)
            fields << QString::fromStdString(f < static_cast<int>(n.fields.size()) ? n.fields[f] : std::string());
        const std::string sort = StripHtml(fields[FieldText].toStdString());
        const qint64 id = nowMs + static_cast<qint64>(i);
        note.addBindValue(id);
        note.addBindValue(QString::fromStdString(n.guid));
        note.addBindValue(qint64(NoteTypeId));
        note.addBindValue(qint64(modS));
        note.addBindValue(fields.join(QChar(0x1f)));
        note.addBindValue(QString::fromStdString(sort));
        note.addBindValue(qint64(FieldChecksum(sort)));
        exec(note, path);
        card.addBindValue(id);
        card.addBindValue(id);
        card.addBindValue(qint64(deckId));
        card.addBindValue(qint64(modS));
        card.addBindValue(qint64(i + 1)); // a new card's due is its position
        exec(card, path);
    }
    if (!db.commit())
        Connection::raise(db.lastError(), path);
}

} // namespace vorel::exports
