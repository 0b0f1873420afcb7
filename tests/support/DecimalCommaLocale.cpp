#include "support/DecimalCommaLocale.hpp"

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace zqb::test {
namespace {

namespace fs = std::filesystem;

bool writesDecimalComma() {
    const std::lconv* conventions = std::localeconv();
    return conventions != nullptr && conventions->decimal_point != nullptr &&
           std::string(conventions->decimal_point) == ",";
}

// The locale compiled into `directory`/de_DE.UTF-8, generated there first when missing. Parallel test
// processes may race: each compiles into a directory of its own and renames it into place.
bool generate(const fs::path& directory, std::string& reason) {
    const fs::path target = directory / DecimalCommaLocale::kName;
    std::error_code error;
    if (fs::exists(target / "LC_NUMERIC", error)) {
        return true;
    }
    fs::create_directories(directory, error);
    const fs::path scratch = directory / ("tmp-" + std::to_string(::getpid()));
    fs::remove_all(scratch, error);
    const std::string command = "localedef -i de_DE -f UTF-8 '" + scratch.string() + "' >/dev/null 2>&1";
    // localedef answers 1 for warnings with a usable result; what counts is the compiled numeric category.
    const int status = std::system(command.c_str());
    if (!fs::exists(scratch / "LC_NUMERIC", error)) {
        fs::remove_all(scratch, error);
        reason = "localedef could not compile " + std::string(DecimalCommaLocale::kName) + " (status " +
                 std::to_string(status) + "); install the Debian package 'locales' (scripts/install-deps.sh)";
        return false;
    }
    fs::rename(scratch, target, error);
    if (error) {
        fs::remove_all(scratch, error);  // another process put its copy in place first
    }
    return fs::exists(target / "LC_NUMERIC", error);
}

}  // namespace

DecimalCommaLocale::DecimalCommaLocale() {
    if (std::setlocale(LC_ALL, kName) == nullptr) {
        const fs::path directory = ZQB_TEST_LOCALE_DIR;
        if (!generate(directory, reason_)) {
            return;
        }
        ::setenv("LOCPATH", directory.c_str(), 1);
        setLocalePath_ = true;
        if (std::setlocale(LC_ALL, kName) == nullptr) {
            reason_ = std::string(kName) + " was generated into " + directory.string() + " but does not load";
            return;
        }
    }
    available_ = writesDecimalComma();
    if (!available_) {
        reason_ = std::string(kName) + " loaded but does not write a decimal comma";
    }
}

DecimalCommaLocale::~DecimalCommaLocale() {
    std::setlocale(LC_ALL, "C");
    if (setLocalePath_) {
        ::unsetenv("LOCPATH");
    }
}

}  // namespace zqb::test
