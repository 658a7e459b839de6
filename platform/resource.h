// The program's embedded resources, looked up by numeric id. The table lives in
// the resources library; code below app/ receives the lookup as a function so that
// it does not depend on how (or whether) the bytes are embedded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace vorel::platform {

// Bytes that live as long as the program (read-only data of the executable).
struct ResourceBytes {
    const uint8_t *data = nullptr;
    size_t size = 0;
};

// The ids of the embedded resources, one definition for the table and its readers.
enum ResourceId : int {
    CoreLibraryResource = 9001,
    EffectsLibraryResource = 1001,
    HelpPageResource = 2001,
};

// Returns the resource with this id, or nothing when the program holds none.
using ResourceLookup = std::function<std::optional<ResourceBytes>(int id)>;

} // namespace vorel::platform
