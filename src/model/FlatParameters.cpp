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

namespace {

std::size_t lengthBytes(std::size_t length) {
    std::size_t bytes = 1;
    while (length >= 0x80) {
        length >>= 7;
        ++bytes;
    }
    return bytes;
}

// Seven bits a byte, low bits first, the high bit set on every byte but the last.
char* writeLength(char* out, std::size_t length) {
    while (length >= 0x80) {
        *out++ = static_cast<char>((length & 0x7F) | 0x80);
        length >>= 7;
    }
    *out++ = static_cast<char>(length);
    return out;
}

char* writeBytes(char* out, const void* bytes, std::size_t length) {
    std::memcpy(out, bytes, length);
    return out + length;
}

}  // namespace

void FlatParameters::putBytes(const void* bytes, std::size_t length) {
    writeBytes(room(length), bytes, length);
}

char* FlatParameters::room(std::size_t length) {
    if (length > capacity_ - size_) {
        const std::size_t capacity = std::max(capacity_ * 2, size_ + length);
        auto grown = std::make_unique_for_overwrite<char[]>(capacity);
        std::memcpy(grown.get(), heap_ ? heap_.get() : inline_, size_);
        heap_ = std::move(grown);
        capacity_ = capacity;
    }
    char* const at = (heap_ ? heap_.get() : inline_) + size_;
    size_ += length;
    return at;
}

// A parameter is written with one look at the room left: the host's thread pays for each byte it copies,
// not for a check per field.
char* FlatParameters::putParameter(Tag tag, std::string_view key, std::size_t valueBytes) {
    ++count_;
    char* out = room(1 + lengthBytes(key.size()) + key.size() + valueBytes);
    *out++ = static_cast<char>(tag);
    out = writeLength(out, key.size());
    return writeBytes(out, key.data(), key.size());
}

void FlatParameters::add(std::string_view key, bool value) {
    *putParameter(Tag::boolean, key, 1) = value ? 1 : 0;
}

void FlatParameters::add(std::string_view key, int64_t value) {
    writeBytes(putParameter(Tag::integer, key, sizeof value), &value, sizeof value);
}

void FlatParameters::add(std::string_view key, double value) {
    writeBytes(putParameter(Tag::real, key, sizeof value), &value, sizeof value);
}

void FlatParameters::add(std::string_view key, std::string_view value) {
    char* out = putParameter(Tag::text, key, lengthBytes(value.size()) + value.size());
    writeBytes(writeLength(out, value.size()), value.data(), value.size());
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
