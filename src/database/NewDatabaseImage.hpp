#pragma once

#include <string_view>

namespace zqb {

// The files of a new database: the tables as every schema step leaves them and the current version, in the
// write-ahead mode, and the log begun with one committed frame, so that the first commit of the file only
// appends to it. Made while the library is built, by running the creation (NewDatabaseImageMaker.cpp); a
// start-up on a new device writes them out instead of running the schema's statements, whose parsing and
// planning took it the better part of a millisecond.
class NewDatabaseImage {
public:
    NewDatabaseImage() = delete;

    static std::string_view file();
    static std::string_view log();
};

}  // namespace zqb
