#include "network/UrlBuilder.hpp"

#include <curl/curl.h>

#include <cctype>
#include <memory>
#include <string_view>

namespace zqb {
namespace {

bool isUrlCharacter(unsigned char c) {
    if (std::isalnum(c) != 0) {
        return true;
    }
    switch (c) {
        // unreserved
        case '-':
        case '.':
        case '_':
        case '~':
        // reserved: general and sub-delimiters
        case ':':
        case '/':
        case '?':
        case '#':
        case '[':
        case ']':
        case '@':
        case '!':
        case '$':
        case '&':
        case '\'':
        case '(':
        case ')':
        case '*':
        case '+':
        case ',':
        case ';':
        case '=':
            return true;
        default:
            return false;
    }
}

bool hasOnlyUrlCharacters(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            if (i + 2 >= text.size() || std::isxdigit(static_cast<unsigned char>(text[i + 1])) == 0 ||
                std::isxdigit(static_cast<unsigned char>(text[i + 2])) == 0) {
                return false;
            }
            i += 2;
            continue;
        }
        if (!isUrlCharacter(c)) {
            return false;
        }
    }
    return true;
}

struct UrlHandleDeleter {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
struct CurlTextDeleter {
    void operator()(char* text) const { curl_free(text); }
};

}  // namespace

void UrlBuilder::setQueryParam(const std::string& key, const std::string& value) {
    for (auto& pair : queryParameter) {
        if (pair.first == key) {
            pair.second = value;
            return;
        }
    }
    queryParameter.emplace_back(key, value);
}

std::string UrlBuilder::buildFullPath() const {
    std::string full = host_ + path;
    if (!queryParameter.empty()) {
        full += "?";
        bool first = true;
        for (const auto& [key, value] : queryParameter) {
            if (!first) {
                full += "&";
            }
            first = false;
            full += key;
            full += "=";
            full += value;
        }
    }
    return full;
}

std::optional<std::string> UrlBuilder::url() const {
    std::string full = buildFullPath();
    if (full.empty() || !hasOnlyUrlCharacters(full)) {
        return std::nullopt;
    }
    // An http address has an authority: "scheme://" followed by a host, not by the path.
    const auto authority = full.find("://");
    if (authority == std::string::npos || authority + 3 >= full.size() ||
        std::string_view("/?#").find(full[authority + 3]) != std::string_view::npos) {
        return std::nullopt;
    }
    std::unique_ptr<CURLU, UrlHandleDeleter> handle(curl_url());
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, full.c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
    }
    char* rawScheme = nullptr;
    char* rawHost = nullptr;
    const bool gotScheme = curl_url_get(handle.get(), CURLUPART_SCHEME, &rawScheme, 0) == CURLUE_OK;
    std::unique_ptr<char, CurlTextDeleter> scheme(rawScheme);
    const bool gotHost = curl_url_get(handle.get(), CURLUPART_HOST, &rawHost, 0) == CURLUE_OK;
    std::unique_ptr<char, CurlTextDeleter> host(rawHost);
    if (!gotScheme || !gotHost || host == nullptr || *host == '\0') {
        return std::nullopt;
    }
    const std::string schemeText(scheme.get());
    if (schemeText != "http" && schemeText != "https") {
        return std::nullopt;
    }
    return full;
}

}  // namespace zqb
