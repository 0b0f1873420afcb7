#include "model/FlatParameters.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zqb {
namespace {

// Reads back what the writer below put in, in the same order; the text is only ever written here.
class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    bool atEnd() const { return position_ >= bytes_.size(); }
    char tag() { return bytes_[position_++]; }
    std::size_t length() {
        std::size_t value = 0;
        for (int shift = 0;; shift += 7) {
            const auto byte = static_cast<unsigned char>(bytes_[position_++]);
            value |= static_cast<std::size_t>(byte & 0x7F) << shift;
            if ((byte & 0x80) == 0) {
                return value;
            }
        }
    }
    std::string_view text() {
        const std::size_t size = length();
        const std::string_view value = bytes_.substr(position_, size);
        position_ += size;
        return value;
    }
    template <typename T>
    T number() {
        T value;
        std::memcpy(&value, bytes_.data() + position_, sizeof value);
        position_ += sizeof value;
        return value;
    }

private:
    std::string_view bytes_;
    std::size_t position_ = 0;
};

}  // namespace

FlatParameters::FlatParameters(const FlatParameters& other) : count_(other.count_) {
    const std::string_view bytes = other.bytes();
    putBytes(bytes.data(), bytes.size());
}

FlatParameters& FlatParameters::operator=(const FlatParameters& other) {
    if (this != &other) {
        FlatParameters copy(other);
        *this = std::move(copy);
    }
    return *this;
}

FlatParameters::FlatParameters(FlatParameters&& other) noexcept
    : heap_(std::move(other.heap_)), size_(other.size_), capacity_(other.capacity_), count_(other.count_) {
    if (!heap_) {
        std::memcpy(inline_, other.inline_, size_);
    }
    other.size_ = 0;
    other.capacity_ = inlineCapacity;
    other.count_ = 0;
}

FlatParameters& FlatParameters::operator=(FlatParameters&& other) noexcept {
    if (this != &other) {
        heap_ = std::move(other.heap_);
        size_ = other.size_;
        capacity_ = other.capacity_;
        count_ = other.count_;
        if (!heap_) {
            std::memcpy(inline_, other.inline_, size_);
        }
        other.size_ = 0;
        other.capacity_ = inlineCapacity;
        other.count_ = 0;
    }
    return *this;
}

void FlatParameters::putBytes(const void* bytes, std::size_t length) {
    if (length > capacity_ - size_) {
        const std::size_t capacity = std::max(capacity_ * 2, size_ + length);
        auto grown = std::make_unique_for_overwrite<char[]>(capacity);
        std::memcpy(grown.get(), heap_ ? heap_.get() : inline_, size_);
        heap_ = std::move(grown);
        capacity_ = capacity;
    }
    std::memcpy((heap_ ? heap_.get() : inline_) + size_, bytes, length);
    size_ += length;
}

void FlatParameters::putLength(std::size_t length) {
    do {
        auto byte = static_cast<unsigned char>(length & 0x7F);
        length >>= 7;
        if (length != 0) {
            byte |= 0x80;
        }
        putBytes(&byte, 1);
    } while (length != 0);
}

void FlatParameters::putHeader(Tag tag, std::string_view key) {
    putBytes(&tag, 1);
    putLength(key.size());
    putBytes(key.data(), key.size());
    ++count_;
}

void FlatParameters::add(std::string_view key, bool value) {
    putHeader(Tag::boolean, key);
    const char flag = value ? 1 : 0;
    putBytes(&flag, 1);
}

void FlatParameters::add(std::string_view key, int64_t value) {
    putHeader(Tag::integer, key);
    putBytes(&value, sizeof value);
}

void FlatParameters::add(std::string_view key, double value) {
    putHeader(Tag::real, key);
    putBytes(&value, sizeof value);
}

void FlatParameters::add(std::string_view key, std::string_view value) {
    putHeader(Tag::text, key);
    putLength(value.size());
    putBytes(value.data(), value.size());
}

AnyCodableMap FlatParameters::expand() const {
    AnyCodableMap map;
    map.reserve(count_);
    Reader reader(bytes());
    while (!reader.atEnd()) {
        const auto tag = static_cast<Tag>(reader.tag());
        std::string key(reader.text());
        switch (tag) {
            case Tag::boolean:
                map.insertOrAssign(std::move(key), AnyCodable(reader.number<char>() != 0));
                break;
            case Tag::integer:
                map.insertOrAssign(std::move(key), AnyCodable(reader.number<int64_t>()));
                break;
            case Tag::real:
                map.insertOrAssign(std::move(key), AnyCodable(reader.number<double>()));
                break;
            case Tag::text:
                map.insertOrAssign(std::move(key), AnyCodable(std::string(reader.text())));
                break;
        }
    }
    return map;
}

}  // namespace zqb
