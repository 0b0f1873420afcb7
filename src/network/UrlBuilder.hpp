#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zqb {

class UrlProtocol {
public:
    virtual ~UrlProtocol() = default;
    // The request URL: the full address when it is a valid http or https URL, otherwise nothing.
    virtual std::optional<std::string> url() const = 0;
};

class UrlBuilderProtocol : public UrlProtocol {
public:
    virtual void setQueryParam(const std::string& key, const std::string& value) = 0;
};

// A request address: `host` (the endpoint layer puts the whole address there), `path`, then the query
// pairs. Keys and values go into the address as given, without percent-encoding.
class UrlBuilder final : public UrlBuilderProtocol {
public:
    explicit UrlBuilder(std::string host) : host_(std::move(host)) {}

    const std::string& host() const { return host_; }
    std::string path;
    // In insertion order; setting a key again replaces its value in place.
    std::vector<std::pair<std::string, std::string>> queryParameter;

    void setQueryParam(const std::string& key, const std::string& value) override;

    // Valid means: only characters a URL may hold (an unescaped space, quote, angle bracket, brace,
    // backslash, non-ASCII byte or a "%" not followed by two hex digits make it invalid), parsable, with
    // the scheme http or https and a host. Any other scheme, such as a test override of "file:" or "ftp:",
    // is no valid address for the gateway.
    std::optional<std::string> url() const override;

private:
    std::string buildFullPath() const;

    std::string host_;
};

}  // namespace zqb
