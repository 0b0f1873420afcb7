// A host of a few lines, through the public calls alone: a burst of custom events recorded while the gateway
// refuses every connection (nothing is sent), and the resident size read as soon as every one is stored,
// which a completion handler queued behind the burst tells. The library finds its gateway's configuration
// unreachable and keeps its built-in batch of 10: every tenth event packs the stored ones into a report,
// which cannot be sent and stays stored.
//
//   build/normal/bench/BurstHost [events, 100000]
//
// Prints the resident growth once stored and the peak of the burst over the resident size before it, in MiB.
#include <ZQBAnalytics/ZQBAnalytics.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

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

// Returns once every call made before it has run.
void waitForTheLibrary() {
    std::promise<void> done;
    ZQBAnalytics::getSDKVersion([&done](const std::string&) { done.set_value(); });
    done.get_future().wait();
}

}  // namespace

int main(int argc, char** argv) {
    const long count = argc > 1 ? std::stol(argv[1]) : 100'000;
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
    char folder[] = "/tmp/zqb-burst-host-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    setenv("XDG_DATA_HOME", folder, 1);

    ZQBAnalytics::setTestProxyUrl("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)));
    ZQBAnalytics::setLogLevel(ZQBLogLevel::no);
    ZQBAnalytics::initialize("burst-host-application-key");
    waitForTheLibrary();

    const double before = statusMiB("VmRSS:");
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts over from here
    for (long index = 0; index < count; ++index) {
        ZQBCustomEventParameters parameters;
        parameters.add("mode", "duel");
        parameters.add("score", static_cast<int64_t>(index));
        parameters.add("hard_mode", true);
        ZQBAnalytics::customEvent("match_finished", parameters);
    }
    waitForTheLibrary();
    const double stored = statusMiB("VmRSS:");
    const double peak = statusMiB("VmHWM:");
    std::printf("events %ld rss_before_MiB %.1f rss_growth_MiB %.1f rss_peak_growth_MiB %.1f\n", count,
                before, stored - before, peak - before);
    std::fflush(stdout);
    // The data folder goes with the run; the library is left running, as a host that carries on would.
    std::filesystem::remove_all(folder);
    _exit(0);
}
