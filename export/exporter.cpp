#include "exporter.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <future>
#include <thread>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QDateTime>

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>
#include <zlib.h>

#include "ankicollection.h"
#include "segment/segmentlist.h"
#include "segment/tailrule.h"

namespace vorel::exports {

namespace {

QString qs(const std::string &s) { return QString::fromStdString(s); }

std::string html(const std::string &text) { return qs(text).toHtmlEscaped().toStdString(); }

std::string clockText(int64_t ms) {
    const int64_t s = ms / 1000;
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                      static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(s / 60), static_cast<long long>(s % 60));
    return text;
}

std::string folderOf(const std::string &path) {
    return QFileInfo(qs(path)).absolutePath().toStdString();
}

// A write that failed just now: a full disk (by its errno, or by the space left,
// which a buffered write's late failure no longer carries), else a place we
// cannot write.
[[noreturn]] void writeFailed(const std::string &where, const QString &detail) {
    const int code = errno;
    TExportFault fault = WriteFault(code);
    struct statvfs fs {};
    if (fault != TExportFault::DiskFull && statvfs(folderOf(where).c_str(), &fs) == 0 &&
        static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize < (1u << 20))
        fault = TExportFault::DiskFull;
    throw EExportError(fault, where, detail.toStdString());
}

struct TClip {
    std::string guid;
    std::string name;
    std::vector<uint8_t> mp3;
};

struct TLevelledClip {
    TClip clip;
    double gain = 1.0;
};

// Makes each chosen sentence's clip and hands it to take (index among the chosen,
// clip) in order. The source is read here, in order; the levelling and encoding,
// which take nearly all the time, run on up to settings.encoders threads at once.
// Reports the clips taken so far before each read and once at the end.
template <typename Take>
TExportResult makeClips(const TExportJob &job, IPcmSource &source, const TExportProgress &progress,
                        const TClipSettings &settings, Take take) {
    TExportResult result;
    const auto total = static_cast<int32_t>(job.chosen.size());
    const size_t encoders = settings.encoders > 0 ? static_cast<size_t>(settings.encoders)
                                                  : std::max(1u, std::thread::hardware_concurrency());
    int32_t taken = 0;
    const auto goOn = [&] {
        if (progress && !progress(taken, total))
            throw EExportError(TExportFault::Cancelled, job.recordingPath);
    };
    std::deque<std::future<TLevelledClip>> running; // a failure waits for the rest to end
    const auto takeOldest = [&] {
        TLevelledClip done = running.front().get();
        running.pop_front();
        result.guids.push_back(done.clip.guid);
        result.gains.push_back(done.gain);
        take(taken++, done.clip);
    };
    for (int32_t k = 0; k < total; ++k) {
        goOn();
        const TCardSentence &s = job.sentences.at(static_cast<size_t>(job.chosen[static_cast<size_t>(k)]));
        TPcm pcm;
        try {
            pcm = source.Read(s.startMs, s.stopMs);
        } catch (const std::exception &e) {
            throw EExportError(TExportFault::SourceFailed, job.recordingPath, e.what());
        }
        TClip clip;
        clip.guid = NoteGuid(job.fingerprint, s.startMs);
        clip.name = ClipName(clip.guid);
        running.push_back(std::async(std::launch::async, [&job, &settings, clip = std::move(clip),
                                                          pcm = std::move(pcm)]() mutable {
            TLevelledClip out{std::move(clip), 1.0};
            try {
                pcm = ConformForMp3(std::move(pcm));
                out.gain = LoudnessGain(pcm, settings);
                out.clip.mp3 = EncodeMp3(pcm, out.gain, settings.bitRatePerChannel);
            } catch (const std::exception &e) {
                throw EExportError(TExportFault::EncodeFailed, job.recordingPath, e.what());
            }
            return out;
        }));
        if (running.size() >= encoders)
            takeOldest();
    }
    while (!running.empty())
        takeOldest();
    goOn();
    return result;
}

// The note's fields, HTML escaped.
std::vector<std::string> fieldsOf(const TExportJob &job, int32_t index, const std::string &clipName) {
    const auto &all = job.sentences;
    const TCardSentence &s = all.at(static_cast<size_t>(index));
    std::vector<std::string> f(FieldCount);
    f[FieldSound] = "[sound:" + clipName + "]";
    f[FieldText] = html(s.text);
    if (index > 0)
        f[FieldBefore] = html(all[static_cast<size_t>(index) - 1].text);
    if (index + 1 < static_cast<int32_t>(all.size()))
        f[FieldAfter] = html(all[static_cast<size_t>(index) + 1].text);
    f[FieldSource] = html(QFileInfo(qs(job.recordingPath)).fileName().toStdString() + " " + clockText(s.startMs));
    return f;
}

std::string deckNameOf(const TExportJob &job) {
    return job.deckName.empty() ? QFileInfo(qs(job.recordingPath)).completeBaseName().toStdString() : job.deckName;
}

void addEntry(QuaZip &zip, const std::string &outPath, const QString &name, const QByteArray &bytes, bool deflate) {
    QuaZipFile file(&zip);
    QuaZipNewInfo info(name);
    info.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                        QFileDevice::ReadOther);
    // Clips are compressed already: stored, they cost no time.
    if (!file.open(QIODevice::WriteOnly, info, nullptr, 0, deflate ? Z_DEFLATED : 0,
                   deflate ? Z_DEFAULT_COMPRESSION : 0) ||
        file.write(bytes) != bytes.size())
        writeFailed(outPath, file.errorString());
    file.close();
    if (file.getZipError() != ZIP_OK)
        writeFailed(outPath, file.errorString());
}

TExportResult exportApkg(const TExportJob &job, IPcmSource &source, const std::string &outPath,
                         const TExportProgress &progress, const TClipSettings &settings) {
    QSaveFile out(qs(outPath));
    if (!out.open(QIODevice::WriteOnly))
        writeFailed(outPath, out.errorString());
    QuaZip zip(&out);
    zip.setAutoClose(false); // the save file commits, not the zip
    if (!zip.open(QuaZip::mdCreate))
        writeFailed(outPath, out.errorString());

    std::vector<TAnkiNote> notes;
    QJsonObject media;
    TExportResult result = makeClips(job, source, progress, settings, [&](int32_t k, const TClip &clip) {
        const QString entry = QString::number(k);
        addEntry(zip, outPath, entry,
                 QByteArray::fromRawData(reinterpret_cast<const char *>(clip.mp3.data()),
                                         static_cast<qsizetype>(clip.mp3.size())),
                 false);
        media.insert(entry, qs(clip.name));
        notes.push_back({clip.guid, fieldsOf(job, job.chosen[static_cast<size_t>(k)], clip.name)});
    });

    // The collection is small: it is made in the temp folder and copied in.
    QTemporaryDir scratch;
    if (!scratch.isValid())
        throw EExportError(TExportFault::Unwritable, QDir::tempPath().toStdString(), scratch.errorString().toStdString());
    const QString collection = scratch.filePath("collection.anki2");
    WriteCollection(collection.toStdString(), deckNameOf(job), notes, QDateTime::currentMSecsSinceEpoch());
    QFile db(collection);
    if (!db.open(QIODevice::ReadOnly))
        throw EExportError(TExportFault::Unwritable, collection.toStdString(), db.errorString().toStdString());
    addEntry(zip, outPath, "collection.anki2", db.readAll(), true);
    addEntry(zip, outPath, "media", QJsonDocument(media).toJson(QJsonDocument::Compact), true);

    zip.close();
    if (zip.getZipError() != ZIP_OK || !out.commit())
        writeFailed(outPath, out.errorString());
    return result;
}

QByteArray csvCell(const std::string &text) {
    QByteArray cell = QByteArray::fromStdString(text);
    if (cell.contains(',') || cell.contains('"') || cell.contains('\n') || cell.contains('\r'))
        cell = '"' + cell.replace("\"", "\"\"") + '"';
    return cell;
}

TExportResult exportCsv(const TExportJob &job, IPcmSource &source, const std::string &outPath,
                        const TExportProgress &progress, const TClipSettings &settings) {
    const QString mediaPath = qs(CsvMediaFolder(outPath));
    const QString folder = QFileInfo(qs(outPath)).absolutePath();
    // The clips gather in a hidden folder beside, which becomes the media folder at the end.
    QTemporaryDir staging(folder + "/.vorel-media-XXXXXX");
    if (!staging.isValid())
        throw EExportError(TExportFault::Unwritable, folder.toStdString(), staging.errorString().toStdString());
    QSaveFile csv(qs(outPath));
    if (!csv.open(QIODevice::WriteOnly))
        writeFailed(outPath, csv.errorString());
    csv.write("guid,sound,text,before,after,source\n");

    TExportResult result = makeClips(job, source, progress, settings, [&](int32_t k, const TClip &clip) {
        QFile file(staging.filePath(qs(clip.name)));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(reinterpret_cast<const char *>(clip.mp3.data()), static_cast<qint64>(clip.mp3.size())) !=
                static_cast<qint64>(clip.mp3.size()) ||
            !file.flush())
            writeFailed(file.fileName().toStdString(), file.errorString());
        const std::vector<std::string> f = fieldsOf(job, job.chosen[static_cast<size_t>(k)], clip.name);
        const TCardSentence &s = job.sentences[static_cast<size_t>(job.chosen[static_cast<size_t>(k)])];
        const std::string before = StripHtml(f[FieldBefore]), after = StripHtml(f[FieldAfter]);
        csv.write(csvCell(clip.guid) + ',' + csvCell(f[FieldSound]) + ',' + csvCell(s.text) + ',' +
                  csvCell(before) + ',' + csvCell(after) + ',' + csvCell(StripHtml(f[FieldSource])) + '\n');
    });

    // Swap the media folder in, keeping the old one until the CSV file is in place.
    QString old;
    if (QFileInfo::exists(mediaPath)) {
        old = staging.path() + ".old";
        if (!QDir().rename(mediaPath, old))
            writeFailed(mediaPath.toStdString(), QStringLiteral("rename"));
    }
    const auto restore = [&] {
        if (!old.isEmpty())
            QDir().rename(old, mediaPath);
    };
    if (!QDir().rename(staging.path(), mediaPath)) {
        restore();
        writeFailed(mediaPath.toStdString(), QStringLiteral("rename"));
    }
    if (!csv.commit()) {
        const int code = errno;
        QDir(mediaPath).removeRecursively();
        restore();
        errno = code;
        writeFailed(outPath, csv.errorString());
    }
    if (!old.isEmpty())
        QDir(old).removeRecursively();
    return result;
}

} // namespace

std::string FaultText(TExportFault fault, const std::string &where, const std::string &detail) {
    std::string text;
    switch (fault) {
    case TExportFault::Cancelled: return "导出已取消，没有写入任何文件。";
    case TExportFault::Unwritable: text = "无法写入：" + where + "\n请检查文件夹是否存在、是否有写入权限。"; break;
    case TExportFault::DiskFull: text = "磁盘空间不足，导出未完成：" + where + "\n请腾出空间后重试。"; break;
    case TExportFault::SourceFailed: text = "无法读取录音：" + where; break;
    case TExportFault::EncodeFailed: text = "无法生成音频片段：" + where; break;
    case TExportFault::Nothing: return "没有可导出的句子。";
    }
    if (!detail.empty())
        text += "\n（" + detail + "）";
    if (fault == TExportFault::Unwritable || fault == TExportFault::DiskFull)
        text += "\n没有留下不完整的文件。";
    return text;
}

TExportFault WriteFault(int code) {
    return code == ENOSPC || code == EDQUOT || code == EFBIG ? TExportFault::DiskFull : TExportFault::Unwritable;
}

std::string NoteGuid(const study::TFingerprint &fingerprint, int32_t startMs) {
    const QByteArray key = QByteArray::fromStdString(fingerprint.Key() + "@" + std::to_string(startMs));
    return QCryptographicHash::hash(key, QCryptographicHash::Sha256).left(8).toHex().toStdString();
}

std::string ClipName(const std::string &guid) { return "vorel-" + guid + ".mp3"; }

std::string CsvMediaFolder(const std::string &csvPath) {
    const QFileInfo info(qs(csvPath));
    return (info.absolutePath() + "/" + info.completeBaseName() + ".media").toStdString();
}

std::vector<TCardSentence> SentencesOf(const segment::TSegmentList &list, const std::vector<std::string> &samples,
                                       int32_t silenceLevel, double columnMs) {
    std::vector<TCardSentence> out;
    for (int32_t i = 0; i + 1 < list.Count(); ++i) {
        TCardSentence s;
        s.startMs = list.Items(i).TimeMs;
        s.endMs = list.Items(i + 1).TimeMs;
        // As the window reads: from the end's column.
        s.stopMs = segment::ReadingStopMs(samples, silenceLevel, s.endMs / audio::MsPerColumn * audio::MsPerColumn,
                                          columnMs);
        s.text = list.Items(i).Text;
        out.push_back(std::move(s));
    }
    return out;
}

std::vector<int32_t> MarkedIndexes(const std::vector<TCardSentence> &sentences,
                                   const std::vector<int32_t> &markedStarts) {
    std::vector<int32_t> marked = markedStarts;
    std::sort(marked.begin(), marked.end());
    std::vector<int32_t> out;
    for (size_t i = 0; i < sentences.size(); ++i)
        if (std::binary_search(marked.begin(), marked.end(), sentences[i].startMs))
            out.push_back(static_cast<int32_t>(i));
    return out;
}

TExportResult Export(const TExportJob &job, IPcmSource &source, const std::string &outPath, TExportFormat format,
                     const TExportProgress &progress, const TClipSettings &clips) {
    if (job.chosen.empty())
        throw EExportError(TExportFault::Nothing, outPath);
    return format == TExportFormat::Apkg ? exportApkg(job, source, outPath, progress, clips)
                                         : exportCsv(job, source, outPath, progress, clips);
}

} // namespace vorel::exports
