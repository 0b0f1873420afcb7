#pragma once

#include <string>

namespace zqb::test {

// Puts the whole process under a locale that writes numbers with a decimal comma (de_DE.UTF-8), as a host
// does that calls setlocale(LC_ALL, "") under such a locale, and back under "C" when destroyed. Create it
// before anything starts a thread.
//
// A machine without the locale gets it generated once into the build tree (localedef, with the definitions
// of the Debian `locales` package, which scripts/install-deps.sh installs). When neither works,
// `available()` is false and `reason()` says why, for the test to skip with.
class DecimalCommaLocale {
public:
    static constexpr const char* kName = "de_DE.UTF-8";

    DecimalCommaLocale();
    ~DecimalCommaLocale();
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

    bool available() const { return available_; }
    const std::string& reason() const { return reason_; }

private:
    bool available_ = false;
    bool setLocalePath_ = false;
    std::string reason_;
};

}  // namespace zqb::test
