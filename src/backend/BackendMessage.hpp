#pragma once

#include "model/Identifiers.hpp"
#include "network/AnyEncodable.hpp"

namespace zqb {

// The single input of every backend call: the request body and the identifiers sent as its headers.
struct BackendMessage {
    AnyEncodable data;
    Identifiers identifiers;
};

}  // namespace zqb
