#include "resourcetable.h"

#include <cstdint>

namespace {

// Laid out by the generated assembly file next to the embedded blobs; ends with
// an entry of id 0.
struct TableEntry {
    int64_t id;
    const uint8_t *data;
    uint64_t size;
};

} // namespace

extern "C" const TableEntry vorel_resource_table[];

namespace vorel::resources {

std::optional<platform::ResourceBytes> FindResource(int id) {
    for (const TableEntry *e = vorel_resource_table; e->id != 0; ++e)
        if (e->id == id)
            return platform::ResourceBytes{e->data, static_cast<size_t>(e->size)};
    return std::nullopt;
}

const char *ProgramVersion() { return VOREL_VERSION; }

} // namespace vorel::resources
