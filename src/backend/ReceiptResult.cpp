#include "backend/ReceiptResult.hpp"

#include "backend/WireReader.hpp"

namespace zqb {

ReceiptResult ReceiptResult::fromJson(const nlohmann::ordered_json& json) {
    const WireReader reader(json);
    return ReceiptResult{reader.optionalString("verificationResult"), reader.optionalInt64("status")};
}

}  // namespace zqb
