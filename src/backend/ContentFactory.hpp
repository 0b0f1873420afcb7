#pragma once

#include "backend/BackendMessage.hpp"
#include "backend/JSONContent.hpp"

#include <map>
#include <string>

namespace zqb {

class ContentFactoryProtocol {
public:
    virtual ~ContentFactoryProtocol() = default;
    virtual JSONContent createContent(const BackendMessage& message) const = 0;
};

// Turns a backend message into request content: its data becomes the body, its identifiers the headers.
class ContentFactory final : public ContentFactoryProtocol {
public:
    JSONContent createContent(const BackendMessage& message) const override;

private:
    static std::map<std::string, std::string> headers(const Identifiers& identifiers);
};

}  // namespace zqb
