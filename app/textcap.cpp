#include "textcap.h"

namespace vorel::app {

std::string CapText(std::string_view utf8, size_t maxChars) {
    size_t at = 0;
    for (size_t chars = 0; at < utf8.size(); ++chars) {
        if (chars == maxChars)
            return std::string(utf8.substr(0, at)) + "…";
        ++at;
        // Continuation bytes belong to the character before.
        while (at < utf8.size() && (static_cast<unsigned char>(utf8[at]) & 0xC0) == 0x80)
            ++at;
    }
    return std::string(utf8);
}

} // namespace vorel::app
