// What a recording and the breakpoint file beside it are known by, from their
// content: a record follows a renamed or moved recording, and a changed one does
// not inherit it. Pure functions over files; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vorel::study {

// The bytes hashed at each end of a recording.
inline constexpr int64_t FingerprintSpan = 1 << 20;

// A recording: its size, a SHA-256 of its first and last MiB (the whole file
// when it is shorter than two), and its decoded length, which only the decoder
// knows and the caller passes in: the exact length, measured the same way at
// every open, or the record is not found again. Name, folder and times play no
// part.
struct TFingerprint {
    int64_t size = 0;
    int64_t decodedMs = 0;
    std::string hash; // lowercase hex
    bool operator==(const TFingerprint &) const = default;
    // The record's key, e.g. "1:52428800:1800000:3f2a…".
    std::string Key() const;
};

// Reads the two ends of path. nullopt when the file cannot be read (the caller
// then goes on without a record); error, when given, receives the reason.
std::optional<TFingerprint> FingerprintFile(const std::string &path, int64_t decodedMs,
                                            std::string *error = nullptr);

// A breakpoint file (.lrc, .srt, .vtt) as it was when breakpoints were kept.
// Such files are small: the hash covers the whole file.
struct TFileStamp {
    int64_t size = 0;
    int64_t mtimeMs = 0; // ms since the epoch; kept for the record, not compared
    std::string hash;    // lowercase hex SHA-256
    bool operator==(const TFileStamp &) const = default;
};

// nullopt when there is no readable file at path.
std::optional<TFileStamp> StampFile(const std::string &path);

// Whether the breakpoint file beside a recording now (now) should win over
// breakpoints kept when it looked like kept: it appeared or its bytes changed.
// A file that is gone wins nothing, and a touch alone (same bytes) is no change.
bool SideFileWins(const std::optional<TFileStamp> &kept, const std::optional<TFileStamp> &now);

} // namespace vorel::study
