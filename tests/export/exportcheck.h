// Reading an exported package back with zip and SQLite alone, and decoding its clips.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vorel::exports::test {

struct TPackageNote {
    int64_t id = 0;
    std::string guid;
    int64_t mid = 0;
    std::vector<std::string> fields;
    std::string sfld;
    int64_t csum = 0;
};

struct TPackage {
    std::map<std::string, std::vector<uint8_t>> entries; // zip entry name -> bytes
    std::map<std::string, std::string> media;            // entry name -> clip file name
    std::string folder;                                  // where collection.anki2 was extracted
    std::vector<TPackageNote> notes;                      // by id
};

// Unzips path into folder and reads its collection and media map (ADD_FAILURE on a fault).
TPackage ReadPackage(const std::string &path, const std::string &folder);

// Rows of an SQL query on an SQLite file, each column as text.
std::vector<std::vector<std::string>> Query(const std::string &db, const std::string &sql);

struct TDecoded {
    int32_t rate = 0;
    int32_t channels = 0;
    std::vector<int16_t> samples;
};
// Gapless decode of an MP3 file in memory.
TDecoded DecodeMp3(const std::vector<uint8_t> &mp3);

} // namespace vorel::exports::test
