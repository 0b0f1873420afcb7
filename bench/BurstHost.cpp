// A host of a few lines, through the public calls alone: a burst of custom events recorded while the gateway
// refuses what it is sent (nothing is sent), and the resident size read as soon as every event is stored,
// which the host's own look at the database file tells (every millisecond, as a tool beside the library
// would).
// - By default the gateway (a loopback one in this process) answers the configuration request with a batch
//   larger than the burst and refuses every report: the events stay stored as events.
// - With --unreachable nothing listens at the gateway's address: every connection is refused, the library
//   keeps its built-in batch of 10, and every tenth event packs the stored ones into a report that stays
//   stored.
//
//   build/normal/bench/BurstHost [--unreachable] [events, 100000]
//
// Prints the resident growth once stored, the peak of the burst and the growth half a second after it was
// stored, all over the resident size before the burst, in MiB.
#include <ZQBAnalytics/ZQBAnalytics.hpp>

#include "backend/Config.hpp"
#include "host/Environment.hpp"
#include "support/LoopbackGateway.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace {

// A size field of /proc/self/status ("VmRSS:", "VmHWM:") in MiB.
double statusMiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::stod(line.substr(field.size())) / 1024.0;
        }
    }
    return 0;
}

// A read-only connection of the host's own to the library's database file.
class FileReader {
public:
    explicit FileReader(const std::string& file) {
        sqlite3_open_v2(file.c_str(), &handle_, SQLITE_OPEN_READONLY, nullptr);
    }
    ~FileReader() { sqlite3_close(handle_); }

    // The events stored as they are, and the reports stored; -1 while the file cannot be read.
    long count(const char* table) {
        sqlite3_stmt* statement = nullptr;
        long count = -1;
        if (sqlite3_prepare_v2(handle_, (std::string("SELECT count(*) FROM ") + table).c_str(), -1,
                               &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            count = static_cast<long>(sqlite3_column_int64(statement, 0));
        }
        sqlite3_finalize(statement);
        return count;
    }

private:
    sqlite3* handle_ = nullptr;
};

// Returns once every call made before it has run.
void waitForTheLibrary() {
    std::promise<void> done;
    ZQBAnalytics::getSDKVersion([&done](const std::string&) { done.set_value(); });
    done.get_future().wait();
}

}  // namespace

int main(int argc, char** argv) {
    const bool unreachable = argc > 1 && std::string_view(argv[1]) == "--unreachable";
    const long count = argc > 1 + unreachable ? std::stol(argv[1 + unreachable]) : 100'000;
    std::unique_ptr<zqb::test::LoopbackGateway> gateway;
    std::string url;
    if (unreachable) {
        // A port bound and never listened on: every connection to it is refused at once.
        const int refusing = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(refusing, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            getsockname(refusing, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::perror("bind");
            return 1;
        }
        url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    } else {
        gateway = std::make_unique<zqb::test::LoopbackGateway>();
        zqb::Config config = zqb::Config::defaulConfiguration(*zqb::host::Environment::shared().clock());
        config.countForRequest = 100'000'000;
        gateway->setReply("/v2/analytics/config", {200, config.toJson().dump()});
        gateway->setReply("/v2/analytics/identification", {200, "{}"});
        gateway->setReply("/v2/analytics/report", {500, "{}"});
        url = gateway->baseUrl();
    }
    char folder[] = "/tmp/zqb-burst-host-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    setenv("XDG_DATA_HOME", folder, 1);

    ZQBAnalytics::setTestProxyUrl(url);
    ZQBAnalytics::setLogLevel(ZQBLogLevel::no);
    ZQBAnalytics::initialize("burst-host-application-key");
    // The gateway's configuration is applied on the library's queue once it has come back.
    while (gateway && gateway->requests("/v2/analytics/config").empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    waitForTheLibrary();

    FileReader reader(ZQBAnalytics::sdkFolderPath() + "/vorantel.db");
    const long events = reader.count("events");
    const long reports = reader.count("reports");
    const double before = statusMiB("VmRSS:");
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts over from here
    for (long index = 0; index < count; ++index) {
        ZQBCustomEventParameters parameters;
        parameters.add("mode", "duel");
        parameters.add("score", static_cast<int64_t>(index));
        parameters.add("hard_mode", true);
        ZQBAnalytics::customEvent("match_finished", parameters);
    }
    // Each report the burst leaves holds ten of its events.
    while (reader.count("events") + 10 * (reader.count("reports") - reports) < events + count) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double stored = statusMiB("VmRSS:");
    const double peak = statusMiB("VmHWM:");
    // And once the library has had half a second to give back what the burst's queued calls took.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double settled = statusMiB("VmRSS:");
    std::printf(
        "events %ld rss_before_MiB %.1f rss_growth_MiB %.1f rss_peak_growth_MiB %.1f "
        "rss_growth_500ms_later_MiB %.1f\n",
        count, before, stored - before, peak - before, settled - before);
    std::fflush(stdout);
    // The data folder goes with the run; the library is left running, as a host that carries on would.
    std::filesystem::remove_all(folder);
    _exit(0);
}
