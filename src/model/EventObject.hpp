#pragma once

#include "database/SQLiteValue.hpp"
#include "model/JsonSupport.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zqb {

// One row of "events": an event recorded and not yet packed into a report. Shared between the event
// repository's cache and the services.
//
// The repository keeps every unsent row in memory, so a row is one block of the record arena (no page of the
// general heap is held by it): the shared pointer's control block, the ids, and after them the code and the
// JSON text in their compact form (`CompactEventText`). Code and text are fixed once the row is made.
class EventObject {
    struct Tail;

public:
    // Only `make` builds rows: the key keeps the constructor to it while letting the shared pointer's
    // allocator call it.
    class Key {
        friend class EventObject;
        Key() = default;
    };

    static std::shared_ptr<EventObject> make(std::string_view code, int64_t idKey, int64_t userId,
                                             std::string_view json);

    // `text` as the tail keeps it: compact or as written, as `tail` says.
    EventObject(Key, const Tail& tail, std::string_view code, int64_t idKey, int64_t userId,
                std::string_view text);
    EventObject(const EventObject&) = delete;
    EventObject& operator=(const EventObject&) = delete;

    int64_t idKey = -1;   // row id; -1 until the repository has inserted the row
    int64_t userId = -1;  // the owning user's idKey

    std::string_view code() const;
    // The record's JSON text as stored ("" when its encoding failed).
    std::string json() const;

    // Columns: 0 id, 1 code, 2 userId, 3 eventJson; all four required.
    static std::shared_ptr<EventObject> fromRow(const SQLiteRow& row);

    // JSON form {"code","idKey","userId","json"}, all four required when read; throws DecodingError.
    static std::shared_ptr<EventObject> fromJson(const nlohmann::ordered_json& json);

private:
    // The bytes behind the control block: how many, where the allocator put them, and what they hold.
    struct Tail {
        std::size_t size = 0;
        char* bytes = nullptr;
        bool compact = false;
        bool wide = false;
    };

    const char* tail() const { return reinterpret_cast<const char*>(this) + tailOffset_; }
    std::string_view text() const;

    static constexpr uint16_t kWideSizes = UINT16_MAX;

    // The sizes of the tail's code and text when they fit here; a row whose code or text does not fit keeps
    // both sizes at the start of its tail instead, and `kWideSizes` here.
    uint32_t textSize_ = 0;
    uint16_t codeSize_ = 0;
    uint8_t tailOffset_ = 0;  // from this object to its tail, inside the same allocation
    bool compact_ = false;    // the text is in its compact form, not as written
};

void to_json(nlohmann::ordered_json& json, const EventObject& event);

}  // namespace zqb
