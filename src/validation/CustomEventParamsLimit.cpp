#include "validation/CustomEventParamsLimit.hpp"

#include <atomic>

namespace zqb {
namespace {

std::atomic<int64_t>& limitSlot() {
    static std::atomic<int64_t> limit{CustomEventParamsLimit::defaultLimit};
    return limit;
}

}  // namespace

int64_t CustomEventParamsLimit::current() {
    return limitSlot().load(std::memory_order_acquire);
}

void CustomEventParamsLimit::publish(int64_t limit) {
    limitSlot().store(limit, std::memory_order_release);
}

void CustomEventParamsLimit::clear() {
    publish(defaultLimit);
}

}  // namespace zqb
