#pragma once

#include <string_view>

namespace zqb {

// The files of a new database: the tables as every schema step leaves them and the current version, in the
// write-ahead mode, and the log begun with one committed frame, so that the first commit of the file only
// appends to it. A start-up on a new device writes them out instead of running the schema's statements, whose
// parsing and planning took it the better part of a millisecond.
//
// They are made by running the creation (NewDatabaseImageMaker) and kept in the repository as a source,
// NewDatabaseImage.cpp, so that the build never runs a program it has just built and a cross build needs
// nothing of the build machine. Their bytes are the same for every target: the file's header fixes the page
// size and the log's magic number tells the byte order of its checksums, which SQLite reads on any machine.
// A test makes them again from the schema's statements and fails when the kept source no longer matches;
// `cmake --build <build> --target zqb_new_database_image_update` writes it anew.
class NewDatabaseImage {
public:
    NewDatabaseImage() = delete;

    static std::string_view file();
    static std::string_view log();
};

}  // namespace zqb
