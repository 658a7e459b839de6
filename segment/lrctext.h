// Byte-level helpers of the LRC reader: splitting a file's bytes into lines and
// turning the sentence text into UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "segmenttypes.h"

namespace vorel::segment {

// Lines of a text: NUL bytes are skipped, a UTF-8 byte-order mark at the very
// start is dropped, lines end at CR, LF or CR LF. See TStopFlag.
TStrings SplitTextLines(std::string_view bytes, const TStopFlag *stop = nullptr);

// A text that begins with a UTF-16 byte-order mark (FF FE or FE FF) as UTF-8, the
// mark dropped and unpaired surrogates as U+FFFD; any other text as it is.
std::string Utf16ToUtf8(std::string_view bytes);

// Appends code point cp (at most U+10FFFF, no surrogate) as UTF-8.
void AppendUtf8(std::string &out, uint32_t cp);

bool IsValidUtf8(std::string_view bytes);

// bytes as they are when they are valid UTF-8, else decoded as GBK; a byte
// sequence GBK cannot decode becomes U+FFFD.
std::string TextToUtf8(std::string_view bytes);

// bytes decoded as GBK; a byte sequence GBK cannot decode becomes U+FFFD.
std::string GbkToUtf8(std::string_view bytes);

// A file's encoding is decided once for all its lines: GBK where more of its
// non-ASCII lines are not valid UTF-8 than are (GBK text may happen to form valid
// UTF-8: "元" is D4 AA), else UTF-8.
bool IsGbkFile(const TStrings &lines);
// Every line to UTF-8 by the file's encoding; in a UTF-8 file a line that is not
// valid UTF-8 is still read as GBK.
void LinesToUtf8(TStrings &lines);

// UTF-8 text as GBK; false when some character has no GBK form (out is then
// incomplete) or no GBK table is installed.
bool Utf8ToGbk(std::string_view text, std::string &out);

} // namespace vorel::segment
