#include "model/EventObject.hpp"

#include "foundation/RecordArena.hpp"
#include "model/CompactEventText.hpp"
#include "model/JsonSupport.hpp"

#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace zqb {
namespace {

// Allocates the shared pointer's block with `tail->size` more bytes behind it and tells the row where they
// are. Only the allocation reads the tail: the copy the block keeps frees it, which needs no size. Rows
// come from the record arena: they wait by the thousand and leave about in the order they came.
template <typename T, typename Tail>
class TailAllocator {
public:
    using value_type = T;
    static_assert(alignof(T) <= RecordArena::alignment);

    explicit TailAllocator(Tail* tail) : tail_(tail) {}
    template <typename U>
    TailAllocator(const TailAllocator<U, Tail>& other) : tail_(other.tail()) {}  // NOLINT: rebinding

    T* allocate(std::size_t count) {
        const std::size_t head = count * sizeof(T);
        auto* block = static_cast<char*>(RecordArena::allocate(head + tail_->size));
        tail_->bytes = block + head;
        return reinterpret_cast<T*>(block);
    }
    void deallocate(T* block, std::size_t) noexcept { RecordArena::release(block); }

    Tail* tail() const { return tail_; }

    template <typename U>
    bool operator==(const TailAllocator<U, Tail>& other) const {
        return tail_ == other.tail();
    }

private:
    Tail* tail_;
};

struct WideSizes {
    std::size_t code;
    std::size_t text;
};

}  // namespace

std::shared_ptr<EventObject> EventObject::make(std::string_view code, int64_t idKey, int64_t userId,
                                               std::string_view json) {
    // The compact form is made first, to size the allocation: on the stack for the texts of nearly every
    // event, on the heap for the rest.
    constexpr std::size_t kOnStack = 512;
    std::array<char, kOnStack> small;
    std::string large;
    char* buffer = small.data();
    if (json.size() > kOnStack) {
        large.resize(json.size());
        buffer = large.data();
    }
    Tail tail;
    const std::size_t compactSize = CompactEventText::compactInto(json, buffer);
    tail.compact = compactSize != CompactEventText::kNotCompact;
    const std::string_view text = tail.compact ? std::string_view(buffer, compactSize) : json;
    tail.wide = code.size() >= kWideSizes || text.size() > std::numeric_limits<uint32_t>::max();
    tail.size = (tail.wide ? sizeof(WideSizes) : 0) + code.size() + text.size();
    return std::allocate_shared<EventObject>(TailAllocator<EventObject, Tail>(&tail), Key(), tail, code,
                                             idKey, userId, text);
}

EventObject::EventObject(Key, const Tail& tail, std::string_view code, int64_t idKey, int64_t userId,
                         std::string_view text)
    : idKey(idKey), userId(userId), compact_(tail.compact) {
    const auto offset = tail.bytes - reinterpret_cast<char*>(this);
    if (offset < 0 || offset > std::numeric_limits<uint8_t>::max()) {
        throw std::logic_error("event row tail out of reach");
    }
    tailOffset_ = static_cast<uint8_t>(offset);
    char* out = tail.bytes;
    if (tail.wide) {
        codeSize_ = kWideSizes;
        const WideSizes sizes{code.size(), text.size()};
        std::memcpy(out, &sizes, sizeof(sizes));
        out += sizeof(sizes);
    } else {
        codeSize_ = static_cast<uint16_t>(code.size());
        textSize_ = static_cast<uint32_t>(text.size());
    }
    if (!code.empty()) {
        std::memcpy(out, code.data(), code.size());
        out += code.size();
    }
    if (!text.empty()) {
        std::memcpy(out, text.data(), text.size());
    }
}

std::string_view EventObject::code() const {
    if (codeSize_ != kWideSizes) {
        return {tail(), codeSize_};
    }
    WideSizes sizes{};
    std::memcpy(&sizes, tail(), sizeof(sizes));
    return {tail() + sizeof(sizes), sizes.code};
}

std::string_view EventObject::text() const {
    if (codeSize_ != kWideSizes) {
        return {tail() + codeSize_, textSize_};
    }
    WideSizes sizes{};
    std::memcpy(&sizes, tail(), sizeof(sizes));
    return {tail() + sizeof(sizes) + sizes.code, sizes.text};
}

std::string EventObject::json() const {
    if (!compact_) {
        return std::string(text());
    }
    std::string out;
    CompactEventText::appendExpanded(out, text());
    return out;
}

std::shared_ptr<EventObject> EventObject::fromRow(const SQLiteRow& row) {
    const auto id = rowInteger(row, 0);
    const auto code = rowText(row, 1);
    const auto userId = rowInteger(row, 2);
    const auto json = rowText(row, 3);
    if (!id || !code || !userId || !json) {
        return nullptr;
    }
    return make(*code, *id, *userId, *json);
}

std::shared_ptr<EventObject> EventObject::fromJson(const nlohmann::ordered_json& json) {
    const auto code = requiredString(json, "code");
    const auto idKey = requiredInteger(json, "idKey");
    const auto userId = requiredInteger(json, "userId");
    return make(code, idKey, userId, requiredString(json, "json"));
}

void to_json(nlohmann::ordered_json& json, const EventObject& event) {
    json = nlohmann::ordered_json::object();
    json["code"] = std::string(event.code());
    json["idKey"] = event.idKey;
    json["userId"] = event.userId;
    json["json"] = event.json();
}

}  // namespace zqb
