#pragma once

#include "migration/ArchivedValue.hpp"

#include <cstddef>
#include <stdexcept>
#include <string_view>

namespace zqb {

// Reads a keyed archive: a binary property list whose "$objects" table holds every archived value, whose
// "$top" dictionary names the root, and whose objects refer to each other by their index in that table.
// Objects name their class through a class entry of the table ("$classname"); keyed collections hold
// "NS.keys" and "NS.objects", plain collections "NS.objects", string objects "NS.string"; the null object is
// of class "NSNull"; reference 0 is nil.
//
// Archives come from files this library did not write, so the file is measured before the property-list
// parser builds it (`BinaryPlistBounds`), every reference is checked against the table, and a cycle of
// references or a nesting deeper than `maxDepth` fails the archive.
class KeyedUnarchiver {
public:
    KeyedUnarchiver() = delete;

    // What the tree the parser builds may cost (`BinaryPlistBounds`). A legacy archive of thousands of
    // users, card values and order ids stays far below it.
    static constexpr std::size_t maxExpandedBytes = 32 * 1024 * 1024;
    // Every object the parser builds costs that bound at least the bytes it takes in the file, so the
    // contents of a larger file could not be read within it anyway: such a file is not even read.
    static constexpr std::size_t maxArchiveBytes = maxExpandedBytes;
    // The legacy records sit six levels deep at most.
    static constexpr std::size_t maxDepth = 64;

    class Error : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // The archive's root object ("$top", key "root") with every reference below it resolved. Throws `Error`
    // for bytes that are not such an archive.
    static ArchivedRef topLevelObject(std::string_view bytes);
};

}  // namespace zqb
