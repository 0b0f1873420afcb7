// The engine wrapper's members that answer on the caller's thread, before any initialisation.

#include <ZQBAnalytics/ZQBEngineWrapper.hpp>

#include "core/Core.hpp"
#include "database/SQLiteProvider.hpp"
#include "support/LogCapture.hpp"
#include "support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace zqb {
namespace {

using Texts = std::vector<std::string>;

TEST(EngineWrapper, TheTestLineShowsTheTextAndTheBase64FormOfItsBytes) {
    test::LogCapture log;
    ZQBEngineWrapper::testString("h\xC3\xA9llo \xE2\x9C\x93");
    ZQBEngineWrapper::testString("");
    // Not UTF-8: the line shows it repaired, the Base64 form is of the bytes as they arrived.
    ZQBEngineWrapper::testString("a\xFF");
    EXPECT_EQ(log.texts(),
              (Texts{
                  "DEBUG [EngineWrapper] Test string:\n\tOrigin: [h\xC3\xA9llo \xE2\x9C\x93]\n\t"
                  "Base64: [aMOpbGxvIOKckw==]",
                  "DEBUG [EngineWrapper] Test string:\n\tOrigin: []\n\tBase64: []",
                  "DEBUG [EngineWrapper] Test string:\n\tOrigin: [a\xEF\xBF\xBD]\n\tBase64: [Yf8=]",
              }));

    log.clear();
    Logger::setLogLevel(ZQBLogLevel::info);
    ZQBEngineWrapper::testString("quiet");
    EXPECT_TRUE(log.texts().empty());
}

TEST(EngineWrapper, TheFolderPathIsTheDataFolderOrTheErrorTextWhenThereIsNone) {
    test::ScopedEnvironment environment;
    EXPECT_EQ(ZQBEngineWrapper::unitySdkFolderPath(),
              (environment.directory() / SQLiteProvider::folderName).string());
    environment.files().setApplicationSupportDirectory(std::filesystem::path());
    EXPECT_EQ(ZQBEngineWrapper::unitySdkFolderPath(), "fileMessagerError");
    // Asking needs no library instance and makes none.
    EXPECT_FALSE(Core::current());
}

}  // namespace
}  // namespace zqb
