#include <ZQBAnalytics/ZQBAntiCheat.hpp>

#include "api/GuardedHandler.hpp"
#include "core/Core.hpp"
#include "foundation/TextUtils.hpp"

#include <utility>

void ZQBAntiCheat::verifyPayment(std::string_view receiptString, CompletionHandler completionHandler) {
    zqb::Core::shared()->antiCheatLogic()->verifyPayment(
        zqb::text::repairUtf8(receiptString),
        zqb::guarded<const ZQBVerifyResponse&>(std::move(completionHandler),
                                               "verifyPayment(receiptString:completionHandler:)"));
}

void ZQBAntiCheat::verifyPayment(CompletionHandler completionHandler) {
    zqb::Core::shared()->antiCheatLogic()->verifyPaymentWithCompletion(zqb::guarded<const ZQBVerifyResponse&>(
        std::move(completionHandler), "verifyPayment(completionHandler:)"));
}
