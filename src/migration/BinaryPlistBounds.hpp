#pragma once

#include <cstddef>
#include <string_view>

namespace zqb {

// Measures a binary property list before the parser builds it. The parser (libplist) builds a separate copy
// of an object for every reference to it and descends into nested containers recursively, so a file of a
// few hundred bytes whose containers refer twice to the next one unfolds into billions of nodes, and a
// deeply nested one overflows the stack. This walks the file's object table from the top object, each object
// once, and answers whether the tree the parser would build stays within the given depth and size.
class BinaryPlistBounds {
public:
    BinaryPlistBounds() = delete;

    struct Limits {
        std::size_t maxDepth;          // containers nested below the top object
        std::size_t maxExpandedBytes;  // the parser's nodes (a fixed cost each) and their payload bytes
    };

    // False for bytes without the layout of a binary property list (header, trailer, offset table, objects
    // within the file, references within the table), for a cycle of references, and for a tree beyond the
    // limits.
    static bool check(std::string_view bytes, const Limits& limits);
};

}  // namespace zqb
