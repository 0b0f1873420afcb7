#include "database/WriteJournal.hpp"

#include <cstring>
#include <variant>

namespace zqb {
namespace {

enum Kind : char { kNull, kInteger, kReal, kText };

template <typename T>
void put(MappedVector<char>& bytes, const T& value) {
    const auto* raw = reinterpret_cast<const char*>(&value);
    bytes.insert(bytes.end(), raw, raw + sizeof value);
}

template <typename T>
T take(const char*& at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    at += sizeof value;
    return value;
}

}  // namespace

void WriteJournal::add(const Write& write) {
    writes_.push_back(
        Kept{write.sql, bytes_.size(), write.values.size(), write.failurePrefix, write.cachedStatement});
    try {
        for (const auto& value : write.values) {
            if (!value) {
                bytes_.push_back(kNull);
            } else if (const auto* integer = std::get_if<int64_t>(&*value)) {
                bytes_.push_back(kInteger);
                put(bytes_, *integer);
            } else if (const auto* real = std::get_if<double>(&*value)) {
                bytes_.push_back(kReal);
                put(bytes_, *real);
            } else {
                const auto& text = std::get<std::string>(*value);
                bytes_.push_back(kText);
                put(bytes_, text.size());
                bytes_.insert(bytes_.end(), text.begin(), text.end());
            }
        }
    } catch (...) {
        bytes_.resize(writes_.back().at);
        writes_.pop_back();
        throw;
    }
}

WriteJournal::Write WriteJournal::at(std::size_t index) const {
    const Kept& kept = writes_[index];
    Write write{kept.sql, {}, kept.failurePrefix, kept.cachedStatement};
    write.values.reserve(kept.count);
    const char* at = bytes_.data() + kept.at;
    for (std::size_t value = 0; value < kept.count; ++value) {
        switch (*at++) {
            case kInteger:
                write.values.emplace_back(SQLiteValue(take<int64_t>(at)));
                break;
            case kReal:
                write.values.emplace_back(SQLiteValue(take<double>(at)));
                break;
            case kText: {
                const auto size = take<std::size_t>(at);
                write.values.emplace_back(SQLiteValue(std::string(at, size)));
                at += size;
                break;
            }
            default:
                write.values.emplace_back(std::nullopt);
                break;
        }
    }
    return write;
}

void WriteJournal::truncate(std::size_t count) {
    if (count < writes_.size()) {
        bytes_.resize(writes_[count].at);
        writes_.resize(count);
    }
}

void WriteJournal::erase(std::size_t index) {
    // Its values stay in `bytes_` until the journal is cleared: only a refused replay erases.
    writes_.erase(writes_.begin() + static_cast<std::ptrdiff_t>(index));
}

void WriteJournal::clear(std::size_t keptCapacity) {
    if (writes_.capacity() > keptCapacity) {
        decltype(writes_)().swap(writes_);
    } else {
        writes_.clear();
    }
    // Values of the size a group of usual writes takes are kept for the next group, mapped ones go back.
    if (bytes_.capacity() >= MappedBlocks::mappedFrom) {
        decltype(bytes_)().swap(bytes_);
    } else {
        bytes_.clear();
    }
}

}  // namespace zqb
