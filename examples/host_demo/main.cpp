// A host application embedding the library.
#include <ZQBAnalytics/ZQBAnalytics.hpp>

#include <iostream>

int main() {
    ZQBEngineWrapper::setEngineLoggerMessageClosure(
        [](ZQBLogLevel, const std::string& line) { std::cout << "[log] " << line << '\n'; });
    ZQBAnalytics::setLogLevel(ZQBLogLevel::debug);
    std::cout << "ZQBAnalytics linked; log level " << description(ZQBAnalytics::logLevel()) << '\n';
    return 0;
}
