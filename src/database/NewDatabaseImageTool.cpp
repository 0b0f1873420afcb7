// Writes the source of the new database's files: zqb_new_database_image <source to write>. Its build target
// zqb_new_database_image_update writes src/database/NewDatabaseImage.cpp.
#include "database/NewDatabaseImageMaker.hpp"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zqb_new_database_image <source to write>\n");
        return 2;
    }
    const std::filesystem::path source = argv[1];
    const auto files = zqb::NewDatabaseImageMaker::make(
        std::filesystem::temp_directory_path() / ("zqb-new-database-image-" + std::to_string(::getpid())));
    if (!files) {
        return 1;
    }
    std::ofstream out(source, std::ios::binary | std::ios::trunc);
    out << zqb::NewDatabaseImageMaker::source(*files);
    out.close();
    return out ? 0 : 1;
}
