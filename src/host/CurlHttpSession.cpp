#include "host/CurlHttpSession.hpp"

#include "foundation/Logger.hpp"
#include "foundation/ProcessExit.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <system_error>

namespace zqb::host {
namespace {

bool initializeCurl() {
    static std::once_flag once;
    static CURLcode result = CURLE_OK;
    std::call_once(once, [] {
        result = curl_global_init(CURL_GLOBAL_DEFAULT);
        // The set-up registers clean-up of its own (the TLS library's) for the exit: the library must notice
        // the exit before that runs, while a request may still be under way.
        ProcessExit::watch();
    });
    return result == CURLE_OK;
}

// Ends a transfer once the process exits, as the exit waits for the request under way. Called at least
// once a second while a transfer waits.
int endOnExit(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return ProcessExit::hasBegun() ? 1 : 0;
}

// The easy handle of the calling thread, kept for the thread's lifetime so that its connection cache lets
// the next request of the same queue reuse the connection.
class ThreadHandle {
public:
    ~ThreadHandle() {
        if (handle_ != nullptr) {
            curl_easy_cleanup(handle_);
        }
    }
    // A handle with every option back at its default; live connections are kept.
    CURL* acquire() {
        if (handle_ == nullptr) {
            handle_ = curl_easy_init();
        } else {
            curl_easy_reset(handle_);
        }
        return handle_;
    }

private:
    CURL* handle_ = nullptr;
};

struct HeaderList {
    curl_slist* list = nullptr;
    ~HeaderList() { curl_slist_free_all(list); }
    bool append(const std::string& line) {
        curl_slist* next = curl_slist_append(list, line.c_str());
        if (next == nullptr) {
            return false;
        }
        list = next;
        return true;
    }
};

struct Sink {
    std::string body;
    std::size_t cap = 0;
    bool overflow = false;
};

size_t writeBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const size_t bytes = size * count;
    if (bytes > sink->cap - sink->body.size()) {
        sink->overflow = true;
        return 0;  // aborts the transfer with CURLE_WRITE_ERROR
    }
    sink->body.append(data, bytes);
    return bytes;
}

bool holdsLineBreak(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// Loopback addresses are never sent through a proxy from the environment; the environment's own exceptions
// still apply.
std::string noProxyList() {
    std::string list = "localhost,127.0.0.1,::1";
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
        if (const char* value = std::getenv(name); value != nullptr && *value != '\0') {
            list.append(",").append(value);
            break;
        }
    }
    return list;
}

// The transport's own words for a failed transfer: the client's message for this transfer, and for a
// connection that could not be made the system's reason too ("Connection refused", "No route to host"),
// which the client's message leaves out.
std::string reason(CURL* curl, CURLcode code, const char* errorBuffer) {
    std::string text =
        errorBuffer[0] != '\0' ? std::string(errorBuffer) : std::string(curl_easy_strerror(code));
    long systemError = 0;
    if (code == CURLE_COULDNT_CONNECT &&
        curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &systemError) == CURLE_OK && systemError != 0) {
        const std::string system = std::system_category().message(static_cast<int>(systemError));
        if (text.find(system) == std::string::npos) {
            text += ": " + system;
        }
    }
    return text;
}

HttpResult failure(std::string text) {
    HttpResult result;
    result.error = std::move(text);
    return result;
}

}  // namespace

CurlHttpSession::CurlHttpSession() : CurlHttpSession(Options{}) {}

CurlHttpSession::CurlHttpSession(Options options) : options_(options) {
    // Set up by whoever makes the session, not by the first request on a library thread: the set-up
    // registers the TLS library's clean-up for the exit, and a host that returned from `main` meanwhile
    // would run that clean-up while the set-up is still under way.
    initializeCurl();
}

HttpResult CurlHttpSession::perform(const HttpRequest& request) noexcept {
    // Once the process exits no exchange starts: the one under way ends at its next progress call.
    if (ProcessExit::hasBegun()) {
        return failure("the process is exiting");
    }
    try {
        if (!initializeCurl()) {
            return failure("the HTTP client could not be initialised");
        }
        thread_local ThreadHandle threadHandle;
        CURL* curl = threadHandle.acquire();
        if (curl == nullptr) {
            return failure("the HTTP client could not be initialised");
        }

        HeaderList headers;
        for (const auto& [name, value] : request.headers) {
            // A line break would let a value start a header or a request of its own.
            if (name.empty() || holdsLineBreak(name) || holdsLineBreak(value)) {
                Logger::writeLog(ZQBLogLevel::error,
                                 "[Network Module] Header dropped, its name or value holds a line break [" +
                                     (holdsLineBreak(name) ? std::string("?") : name) + "]");
                continue;
            }
            // "Name;" is curl's way of sending a header with an empty value.
            if (!headers.append(value.empty() ? name + ";" : name + ": " + value)) {
                return failure("out of memory");
            }
        }
        // No "Expect: 100-continue" round trip before larger bodies.
        if (!headers.append("Expect:")) {
            return failure("out of memory");
        }

        Sink sink;
        sink.cap = options_.maxBodyBytes;
        char errorBuffer[CURL_ERROR_SIZE] = {};
        const std::string noProxy = noProxyList();
        const long idleSeconds = std::max<long>(1, static_cast<long>(options_.idleTimeout.count()));
        const long connectMilliseconds =
            std::max<long>(1, static_cast<long>(options_.connectTimeout.count()));

        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_NOPROXY, noProxy.c_str());
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connectMilliseconds);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, idleSeconds);
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options_.maxBodyBytes));
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, endOnExit);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);
        if (request.method == "POST" || !request.body.empty()) {
            curl_easy_setopt(curl, CURLOPT_POST, 1L);
            curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
        }
        if (request.method != "POST") {
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        }

        const CURLcode code = curl_easy_perform(curl);
        // Nothing of the request's own buffers may outlive this call in the reused handle.
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);

        // The status of the last status line that arrived, 0 when none did. A status that arrived stays with
        // the result even when the rest of the exchange failed: the gateway has decided, and a report it
        // accepted must not be sent again.
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        HttpResult result;
        if (status > 0) {
            result.statusCode = status;
        }
        if (sink.overflow || code == CURLE_FILESIZE_EXCEEDED) {
            Logger::writeLog(ZQBLogLevel::error, "[Network Module] The answer is larger than " +
                                                     std::to_string(options_.maxBodyBytes) +
                                                     " bytes and was dropped");
            result.error = "answer larger than " + std::to_string(options_.maxBodyBytes) + " bytes";
            return result;
        }
        if (code != CURLE_OK) {
            result.error = reason(curl, code, errorBuffer);
            return result;
        }
        if (status <= 0) {
            return failure("the answer is not an HTTP answer");
        }
        result.data = std::move(sink.body);
        return result;
    } catch (const std::exception& error) {
        return failure(error.what());
    } catch (...) {
        return failure("unknown failure");
    }
}

}  // namespace zqb::host
