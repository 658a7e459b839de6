// Byte-level helpers of the LRC reader: splitting a file's bytes into lines and
// turning the sentence text into UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "segmenttypes.h"

namespace vorel::segment {

// Lines of a text: ends at the first NUL byte, a UTF-8 byte-order mark at the very
// start is dropped, lines end at CR, LF or CR LF.
TStrings SplitTextLines(std::string_view bytes);

// A text that begins with a UTF-16 byte-order mark (FF FE or FE FF) as UTF-8, the
// mark dropped and unpaired surrogates as U+FFFD; any other text as it is.
std::string Utf16ToUtf8(std::string_view bytes);

bool IsValidUtf8(std::string_view bytes);

// bytes as they are when they are valid UTF-8, else decoded as GBK; a byte
// sequence GBK cannot decode becomes U+FFFD.
std::string TextToUtf8(std::string_view bytes);

} // namespace vorel::segment
