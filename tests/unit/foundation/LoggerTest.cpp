#include "foundation/Logger.hpp"
#include "support/LogCapture.hpp"
#include "support/Wait.hpp"

#include <gtest/gtest.h>
#include <ZQBAnalytics/ZQBAnalytics.hpp>
#include <ZQBAnalytics/ZQBEngineWrapper.hpp>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace zqb {
namespace {

using test::LogCapture;

void logOneOfEach() {
    Logger::writeLog(ZQBLogLevel::error, "e");
    Logger::writeLog(ZQBLogLevel::warning, "w");
    Logger::writeLog(ZQBLogLevel::info, "i");
    Logger::writeLog(ZQBLogLevel::debug, "d");
}

TEST(Logger, DefaultLevelPassesOnlyErrorsWithTheLevelWordInFront) {
    ASSERT_EQ(Logger::logLevel(), ZQBLogLevel::error);
    ASSERT_EQ(ZQBAnalytics::logLevel(), ZQBLogLevel::error);
    LogCapture capture(Logger::logLevel());
    logOneOfEach();
    Logger::writeLog(ZQBLogLevel::error, "In the customEvent(_:_:) method an error has occurred: ");
    ASSERT_EQ(capture.lines().size(), 2u);
    EXPECT_EQ(capture.lines()[0].level, ZQBLogLevel::error);
    EXPECT_EQ(capture.texts(),
              (std::vector<std::string>{"ERROR e",
                                        "ERROR In the customEvent(_:_:) method an error has occurred: "}));
}

TEST(Logger, EachLevelAdmitsMessagesUpToItself) {
    const std::vector<std::pair<ZQBLogLevel, std::vector<std::string>>> cases{
        {ZQBLogLevel::no, {}},
        {ZQBLogLevel::error, {"ERROR e"}},
        {ZQBLogLevel::warning, {"ERROR e", "WARNING w"}},
        {ZQBLogLevel::info, {"ERROR e", "WARNING w", "INFO i"}},
        {ZQBLogLevel::debug, {"ERROR e", "WARNING w", "INFO i", "DEBUG d"}},
    };
    for (const auto& [level, expected] : cases) {
        LogCapture capture(level);
        logOneOfEach();
        EXPECT_EQ(capture.texts(), expected) << description(level);
        for (const auto asked :
             {ZQBLogLevel::error, ZQBLogLevel::warning, ZQBLogLevel::info, ZQBLogLevel::debug}) {
            EXPECT_EQ(Logger::isLogged(asked), static_cast<int>(asked) <= static_cast<int>(level))
                << description(level) << " asked " << description(asked);
        }
        for (const auto& line : capture.lines()) {
            EXPECT_EQ(line.text.rfind(std::string(description(line.level)) + " ", 0), 0u) << line.text;
        }
    }
}

TEST(Logger, PublicLevelIgnoresUnknownAndRefusesValuesOutsideTheEnum) {
    LogCapture capture(ZQBLogLevel::error);
    ZQBAnalytics::setLogLevel(ZQBLogLevel::info);
    EXPECT_EQ(ZQBAnalytics::logLevel(), ZQBLogLevel::info);
    ZQBAnalytics::setLogLevel(ZQBLogLevel::unknown);
    EXPECT_EQ(ZQBAnalytics::logLevel(), ZQBLogLevel::info);
    EXPECT_TRUE(capture.lines().empty());
    ZQBAnalytics::setLogLevel(static_cast<ZQBLogLevel>(6));
    ZQBAnalytics::setLogLevel(static_cast<ZQBLogLevel>(-1));
    EXPECT_EQ(ZQBAnalytics::logLevel(), ZQBLogLevel::info);
    const std::string head =
        "ERROR In the setLogLevel(_:) method an error has occurred: \n\tThe log level argument value [";
    const std::string cases =
        "] \n\tParameter must be a case of ZQBLogLevel (0 UNKNOWN, 1 NO, 2 ERROR, 3 WARNING, 4 INFO, 5 "
        "DEBUG).";
    EXPECT_EQ(capture.texts(), (std::vector<std::string>{head + "6" + cases, head + "-1" + cases}));
    capture.clear();
    ZQBAnalytics::setLogLevel(ZQBLogLevel::no);
    EXPECT_EQ(Logger::logLevel(), ZQBLogLevel::no);
    logOneOfEach();
    EXPECT_TRUE(capture.lines().empty());
}

TEST(Logger, WithoutAnEngineClosureNothingIsDeliveredAnywhere) {
    LogCapture capture(ZQBLogLevel::debug);
    int publicCalls = 0;
    ZQBAnalytics::setLoggerMessageClosure([&](const std::string&) { ++publicCalls; });
    ZQBEngineWrapper::setEngineLoggerMessageClosure(nullptr);
    EXPECT_FALSE(ZQBEngineWrapper::engineLoggerMessageClosure());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    logOneOfEach();
    EXPECT_FALSE(Logger::isLogged(ZQBLogLevel::error));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(capture.lines().empty());
    // The public closure is stored and handed back, never called.
    ASSERT_TRUE(ZQBAnalytics::loggerMessageClosure());
    EXPECT_EQ(publicCalls, 0);
    ZQBAnalytics::setLoggerMessageClosure(nullptr);
    EXPECT_FALSE(ZQBAnalytics::loggerMessageClosure());
}

TEST(Logger, EngineClosureSetThroughTheWrapperReceivesLinesAndCanBeReadBack) {
    LogCapture restore(ZQBLogLevel::warning);
    std::vector<std::pair<ZQBLogLevel, std::string>> received;
    ZQBEngineWrapper::setEngineLoggerMessageClosure(
        [&](ZQBLogLevel level, const std::string& line) { received.emplace_back(level, line); });
    auto readBack = ZQBEngineWrapper::engineLoggerMessageClosure();
    ASSERT_TRUE(readBack);
    readBack(ZQBLogLevel::info, "direct");
    Logger::writeLog(ZQBLogLevel::warning, "[Network Module] The network queue is stopped");
    Logger::writeLog(ZQBLogLevel::info, "dropped");
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].second, "direct");
    EXPECT_EQ(received[1].first, ZQBLogLevel::warning);
    EXPECT_EQ(received[1].second, "WARNING [Network Module] The network queue is stopped");
}

TEST(Logger, ClosureMayLogReplaceItselfOrThrowWithoutHarm) {
    LogCapture restore(ZQBLogLevel::debug);
    std::vector<std::string> received;
    int depth = 0;
    Logger::setEngineLoggerMessageClosure([&](ZQBLogLevel, const std::string& line) {
        received.push_back(line);
        if (++depth == 1) {
            Logger::writeLog(ZQBLogLevel::debug, "nested");
            Logger::setEngineLoggerMessageClosure(
                [](ZQBLogLevel, const std::string&) { throw std::runtime_error("host failure"); });
        }
    });
    Logger::writeLog(ZQBLogLevel::error, "outer");
    EXPECT_EQ(received, (std::vector<std::string>{"ERROR outer", "DEBUG nested"}));
    EXPECT_NO_THROW(Logger::writeLog(ZQBLogLevel::error, "into the throwing closure"));
}

TEST(LogLevel, RawValuesCasesAndWords) {
    EXPECT_FALSE(ZQBLogLevelFromRawValue(6));
    EXPECT_FALSE(ZQBLogLevelFromRawValue(-1));
    EXPECT_FALSE(ZQBLogLevelFromRawValue(INT64_MIN));
    const std::vector<std::string> words{"UNKNOWN", "NO", "ERROR", "WARNING", "INFO", "DEBUG"};
    ASSERT_EQ(ZQBLogLevelAllCases.size(), words.size());
    for (std::size_t raw = 0; raw < words.size(); ++raw) {
        EXPECT_EQ(static_cast<std::size_t>(ZQBLogLevelAllCases[raw]), raw);
        EXPECT_EQ(ZQBLogLevelFromRawValue(static_cast<int64_t>(raw)), ZQBLogLevelAllCases[raw]);
        EXPECT_EQ(description(ZQBLogLevelAllCases[raw]), words[raw]);
    }
}

// Run under ThreadSanitizer: level and closure are replaced while several threads log.
TEST(Logger, ConcurrentLoggingWhileClosureAndLevelAreReplaced) {
    LogCapture restore(ZQBLogLevel::debug);
    std::atomic<bool> stop{false};
    std::atomic<int> malformed{0};
    std::atomic<int> delivered{0};
    auto makeClosure = [&](int) {
        return [&](ZQBLogLevel level, const std::string& line) {
            const std::string prefix = std::string(description(level)) + " message ";
            if (line.rfind(prefix, 0) != 0) {
                ++malformed;
            }
            ++delivered;
        };
    };
    std::vector<std::thread> writers;
    for (int t = 0; t < 6; ++t) {
        writers.emplace_back([&, t] {
            int i = 0;
            while (!stop.load()) {
                const auto level = static_cast<ZQBLogLevel>(2 + (i + t) % 4);
                Logger::writeLog(level, "message " + std::to_string(i++));
            }
        });
    }
    for (int round = 0; round < 2'000; ++round) {
        Logger::setLogLevel(static_cast<ZQBLogLevel>(1 + round % 5));
        Logger::setEngineLoggerMessageClosure(round % 7 == 0 ? Logger::EngineClosure{} : makeClosure(round));
        (void)Logger::logLevel();
        (void)Logger::engineLoggerMessageClosure();
        Logger::setLoggerMessageClosure([](const std::string&) {});
    }
    Logger::setLogLevel(ZQBLogLevel::debug);
    Logger::setEngineLoggerMessageClosure(makeClosure(0));
    const int before = delivered.load();
    EXPECT_TRUE(test::waitUntil([&] { return delivered.load() > before; }));
    stop = true;
    for (auto& writer : writers) {
        writer.join();
    }
    Logger::setLoggerMessageClosure(nullptr);
    EXPECT_EQ(malformed.load(), 0);
}

}  // namespace
}  // namespace zqb
