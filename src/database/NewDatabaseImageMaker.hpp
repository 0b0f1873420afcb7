#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace zqb {

// Makes the files of a new database (see NewDatabaseImage.hpp) by running the creation, and writes them as
// the C++ source of `NewDatabaseImage`. Not part of the library: its tool writes the source kept in the
// repository, and a test makes the files again to find a source that no longer matches the schema.
class NewDatabaseImageMaker {
public:
    struct Files {
        std::string file;
        std::string log;
    };

    NewDatabaseImageMaker() = delete;

    // The files, made in `folder` (emptied first and removed after); nothing after an SQLite error, which
    // goes to standard error.
    static std::optional<Files> make(const std::filesystem::path& folder);
    static std::string source(const Files& files);
};

}  // namespace zqb
