// The images compiled into the module: a read-only table mapping (type, id) to
// the embedded bytes, generated at build time from the files under
// resources/img/. Types are "PNG" and "JPG"; ids 101..118 as the editor layout
// names them. An image whose file is absent at build time has no entry.
// Thread-safe (constant data); the bytes live as long as the module.
#pragma once

#include <cstddef>

namespace duv {

struct EmbeddedResource {
    const char* type;            // "PNG" or "JPG"
    int id;                      // resource id
    const char* name;            // file name relative to resources/, e.g. "img/bg.png"
    const unsigned char* data;   // the file's bytes
    std::size_t size;            // byte count
    // The image's size from its header, read at build time (0 x 0 when it
    // could not be read): layout needs no access to the bytes.
    int width = 0, height = 0;
};

// First entry of the table; *count receives the number of entries.
const EmbeddedResource* embeddedResourceTable(std::size_t* count);

} // namespace duv
