#pragma once

#include "model/AnyCodable.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zqb {

// Custom-event parameters as a call carries them through the income queue: every key and value laid out flat
// in one run of bytes, a fraction of the room the dictionary takes. A few short parameters fit in the object
// itself, so the queued call stays one allocation, freed by the queue's worker: every further block that
// the worker frees for the host's thread meets that thread's allocations on the allocator's lock. The
// dictionary is expanded when the call runs.
class FlatParameters {
public:
    FlatParameters() = default;
    FlatParameters(const FlatParameters& other);
    FlatParameters& operator=(const FlatParameters& other);
    FlatParameters(FlatParameters&& other) noexcept;
    FlatParameters& operator=(FlatParameters&& other) noexcept;
    ~FlatParameters() = default;

    void add(std::string_view key, bool value);
    void add(std::string_view key, int64_t value);
    void add(std::string_view key, double value);
    void add(std::string_view key, std::string_view value);

    // The parameters in the order added, each as the dynamic value of its own kind (Bool, Int, Double,
    // String); of keys added twice, the later value stays.
    AnyCodableMap expand() const;

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

private:
    enum class Tag : char { boolean, integer, real, text };

    static constexpr std::size_t inlineCapacity = 64;

    // `length` bytes more at the end, the first of them returned.
    char* room(std::size_t length);
    void putBytes(const void* bytes, std::size_t length);
    // The tag and key of a parameter whose value takes `valueBytes`, counted; returns where the value goes.
    char* putParameter(Tag tag, std::string_view key, std::size_t valueBytes);
    std::string_view bytes() const { return {heap_ ? heap_.get() : inline_, size_}; }

    char inline_[inlineCapacity];
    std::unique_ptr<char[]> heap_;
    std::size_t size_ = 0;
    std::size_t capacity_ = inlineCapacity;
    std::size_t count_ = 0;
};

}  // namespace zqb
