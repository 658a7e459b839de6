// The collection inside an Anki package: an SQLite file with the schema Anki
// writes for a legacy (version 11) collection, holding one deck, our note type
// and the notes with one card each. Written through Qt SQL; any one thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorel::exports {

// The note type's fields, in order.
enum TNoteField { FieldSound, FieldText, FieldBefore, FieldAfter, FieldSource, FieldCount };
// Our note type's id: fixed, so that every package brings the same note type and
// a second import finds it instead of adding a copy.
inline constexpr int64_t NoteTypeId = 1733650000029;

struct TAnkiNote {
    std::string guid;
    std::vector<std::string> fields; // FieldCount HTML texts
};

// Writes a new collection at path (which must not exist) with the notes in a
// deck named deckName. nowMs stamps ids and modification times; a note's id is
// nowMs plus its index, as Anki makes them. Throws EExportError (Unwritable or
// DiskFull) when the file cannot be written; the caller removes it.
void WriteCollection(const std::string &path, const std::string &deckName, const std::vector<TAnkiNote> &notes,
                     int64_t nowMs);

// Anki's duplicate check value of a field: the first 8 hex digits of the SHA-1
// of the field's text without HTML, as a number.
int64_t FieldChecksum(const std::string &plainText);
// A field's text without HTML tags, entities decoded (the sort field).
std::string StripHtml(const std::string &html);

} // namespace vorel::exports
