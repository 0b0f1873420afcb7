#include "migration/BinaryPlistBounds.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace zqb {
namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kTrailerSize = 32;
// What one parsed node costs the parser besides its payload: the tree node, the value record and the
// allocator's overhead, rounded up.
constexpr uint64_t kNodeCost = 128;

// Object kinds, the high nibble of an object's marker byte.
enum Kind : uint8_t {
    kSimple = 0x0,
    kInteger = 0x1,
    kReal = 0x2,
    kDate = 0x3,
    kData = 0x4,
    kAsciiString = 0x5,
    kUtf16String = 0x6,
    kUtf8String = 0x7,
    kUid = 0x8,
    kArray = 0xA,
    kSet = 0xC,
    kDictionary = 0xD,
};

class Walker {
public:
    Walker(std::string_view bytes, const BinaryPlistBounds::Limits& limits)
        : bytes_(bytes), limits_(limits) {}

    bool run() {
        if (bytes_.size() < kHeaderSize + kTrailerSize || bytes_.substr(0, 6) != "bplist") {
            return false;
        }
        const std::size_t trailer = bytes_.size() - kTrailerSize;
        offsetSize_ = static_cast<uint8_t>(bytes_[trailer + 6]);
        referenceSize_ = static_cast<uint8_t>(bytes_[trailer + 7]);
        const auto count = number(trailer + 8, 8);
        const auto top = number(trailer + 16, 8);
        const auto table = number(trailer + 24, 8);
        if (!count || !top || !table || offsetSize_ == 0 || offsetSize_ > 8 || referenceSize_ == 0 ||
            referenceSize_ > 8) {
            return false;
        }
        // Every object takes at least one byte before the table, so the count is bounded by the file.
        if (*count == 0 || *count > trailer || *top >= *count || *table < kHeaderSize || *table > trailer ||
            (trailer - *table) / offsetSize_ < *count) {
            return false;
        }
        count_ = *count;
        table_ = *table;
        dataEnd_ = *table;
        weight_.assign(count_, 0);
        height_.assign(count_, 0);
        state_.assign(count_, State::unvisited);
        return visit(*top, 0);
    }

private:
    enum class State : uint8_t { unvisited, inProgress, done };

    // A big-endian unsigned number of `size` bytes at `position`; nothing past the end.
    std::optional<uint64_t> number(std::size_t position, std::size_t size) const {
        if (size == 0 || size > 8 || position > bytes_.size() || bytes_.size() - position < size) {
            return std::nullopt;
        }
        uint64_t value = 0;
        for (std::size_t index = 0; index < size; ++index) {
            value = (value << 8) | static_cast<uint8_t>(bytes_[position + index]);
        }
        return value;
    }

    // The count of a sized object whose marker is at `position`, and where its payload starts.
    std::optional<std::pair<uint64_t, std::size_t>> sized(std::size_t position) const {
        const uint8_t low = static_cast<uint8_t>(bytes_[position]) & 0x0F;
        if (low != 0x0F) {
            return std::make_pair(uint64_t{low}, position + 1);
        }
        const auto marker = number(position + 1, 1);
        if (!marker || (*marker >> 4) != kInteger || (*marker & 0x0F) > 3) {
            return std::nullopt;
        }
        const std::size_t size = std::size_t{1} << (*marker & 0x0F);
        const auto value = number(position + 2, size);
        if (!value) {
            return std::nullopt;
        }
        return std::make_pair(*value, position + 2 + size);
    }

    // Whether `size` bytes from `position` lie within the objects.
    bool fits(std::size_t position, uint64_t size) const {
        return position <= dataEnd_ && size <= dataEnd_ - position;
    }

    bool add(uint64_t& total, uint64_t amount) const {
        if (amount > limits_.maxExpandedBytes - total) {
            return false;
        }
        total += amount;
        return true;
    }

    bool visit(uint64_t index, std::size_t depth) {
        if (index >= count_ || depth > limits_.maxDepth) {
            return false;
        }
        if (state_[index] == State::inProgress) {
            return false;
        }
        if (state_[index] == State::done) {
            return depth + height_[index] <= limits_.maxDepth;
        }
        state_[index] = State::inProgress;
        const auto offset = number(table_ + index * offsetSize_, offsetSize_);
        if (!offset || *offset < kHeaderSize || *offset >= dataEnd_) {
            return false;
        }
        const std::size_t position = static_cast<std::size_t>(*offset);
        const uint8_t marker = static_cast<uint8_t>(bytes_[position]);
        uint64_t weight = kNodeCost;
        switch (marker >> 4) {
            case kSimple:
                break;
            case kInteger:
            case kReal:
                if ((marker & 0x0F) > 4 || !fits(position + 1, uint64_t{1} << (marker & 0x0F))) {
                    return false;
                }
                break;
            case kDate:
                if (!fits(position + 1, 8)) {
                    return false;
                }
                break;
            case kUid:
                if (!fits(position + 1, (marker & 0x0F) + 1u)) {
                    return false;
                }
                break;
            case kData:
            case kAsciiString:
            case kUtf8String:
            case kUtf16String: {
                const auto size = sized(position);
                if (!size) {
                    return false;
                }
                const bool wide = (marker >> 4) == kUtf16String;
                if (wide && size->first > dataEnd_) {
                    return false;
                }
                const uint64_t bytes = wide ? size->first * 2 : size->first;
                // A UTF-16 text grows by half once converted to UTF-8.
                if (!fits(size->second, bytes) || !add(weight, wide ? size->first * 3 : bytes)) {
                    return false;
                }
                break;
            }
            case kArray:
            case kSet:
            case kDictionary: {
                const auto size = sized(position);
                if (!size || size->first > dataEnd_) {
                    return false;
                }
                const uint64_t references = (marker >> 4) == kDictionary ? size->first * 2 : size->first;
                if (!fits(size->second, references * referenceSize_)) {
                    return false;
                }
                std::size_t height = 0;
                for (uint64_t child = 0; child < references; ++child) {
                    const auto target = number(size->second + child * referenceSize_, referenceSize_);
                    if (!target || !visit(*target, depth + 1) || !add(weight, weight_[*target])) {
                        return false;
                    }
                    height = std::max<std::size_t>(height, height_[*target] + 1);
                }
                height_[index] = height;
                break;
            }
            default:
                return false;
        }
        weight_[index] = weight;
        state_[index] = State::done;
        return true;
    }

    std::string_view bytes_;
    BinaryPlistBounds::Limits limits_;
    uint8_t offsetSize_ = 0;
    uint8_t referenceSize_ = 0;
    uint64_t count_ = 0;
    std::size_t table_ = 0;
    std::size_t dataEnd_ = 0;
    std::vector<uint64_t> weight_;
    std::vector<std::size_t> height_;
    std::vector<State> state_;
};

}  // namespace

bool BinaryPlistBounds::check(std::string_view bytes, const Limits& limits) {
    return Walker(bytes, limits).run();
}

}  // namespace zqb
