#include "database/WriteJournal.hpp"

#include <algorithm>
#include <cstring>
#include <variant>

namespace zqb {
namespace {

enum Kind : char { kNull, kInteger, kReal, kText };

std::size_t sizeOf(const OptionalSQLiteValue& value) {
    if (value && std::holds_alternative<std::string>(*value)) {
        return 1 + sizeof(std::size_t) + std::get<std::string>(*value).size();
    }
    return value ? 1 + sizeof(int64_t) : 1;
}

char* put(char* at, const void* bytes, std::size_t size) {
    std::memcpy(at, bytes, size);
    return at + size;
}

template <typename T>
T take(const char*& at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    at += sizeof value;
    return value;
}

}  // namespace

char* WriteJournal::room(std::size_t bytes) {
    for (; current_ < chunks_.size(); ++current_, used_ = 0) {
        if (chunks_[current_].size - used_ >= bytes) {
            char* at = chunks_[current_].bytes + used_;
            used_ += bytes;
            return at;
        }
    }
    const std::size_t size = std::max(bytes, kChunkBytes);
    chunks_.reserve(chunks_.size() + 1);
    chunks_.push_back(Chunk{static_cast<char*>(MappedBlocks::allocate(size)), size});
    current_ = chunks_.size() - 1;
    used_ = bytes;
    return chunks_.back().bytes;
}

void WriteJournal::add(const Write& write) {
    std::size_t bytes = 0;
    for (const auto& value : write.values) {
        bytes += sizeOf(value);
    }
    writes_.push_back(
        Kept{write.sql, nullptr, write.values.size(), write.failurePrefix, write.cachedStatement});
    char* at = nullptr;
    try {
        at = room(bytes);
    } catch (...) {
        writes_.pop_back();
        throw;
    }
    writes_.back().values = at;
    for (const auto& value : write.values) {
        if (!value) {
            *at++ = kNull;
        } else if (const auto* integer = std::get_if<int64_t>(&*value)) {
            *at++ = kInteger;
            at = put(at, integer, sizeof *integer);
        } else if (const auto* real = std::get_if<double>(&*value)) {
            *at++ = kReal;
            at = put(at, real, sizeof *real);
        } else {
            const auto& text = std::get<std::string>(*value);
            const std::size_t size = text.size();
            *at++ = kText;
            at = put(at, &size, sizeof size);
            at = put(at, text.data(), size);
        }
    }
}

WriteJournal::Write WriteJournal::at(std::size_t index) const {
    const Kept& kept = writes_[index];
    Write write{kept.sql, {}, kept.failurePrefix, kept.cachedStatement};
    write.values.reserve(kept.count);
    const char* at = kept.values;
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
    // The values of the writes dropped stay in their chunk until the journal is cleared: only a failed
    // write drops any.
    if (count < writes_.size()) {
        writes_.resize(count);
    }
}

void WriteJournal::erase(std::size_t index) {
    writes_.erase(writes_.begin() + static_cast<std::ptrdiff_t>(index));
}

void WriteJournal::clear(std::size_t keptCapacity) {
    if (writes_.capacity() > keptCapacity) {
        decltype(writes_)().swap(writes_);
    } else {
        writes_.clear();
    }
    // The chunks this group wrote are kept for the next, which in a burst writes as many: unmapped at every
    // commit, they cost the burst a third of its storing rate. Those it left unused go back, so that once
    // the burst is over the first group after it returns them.
    releaseChunks(std::max<std::size_t>(current_ + 1, 1));
}

void WriteJournal::releaseChunks(std::size_t kept) noexcept {
    while (chunks_.size() > kept || (!chunks_.empty() && chunks_.back().size != kChunkBytes)) {
        MappedBlocks::release(chunks_.back().bytes, chunks_.back().size);
        chunks_.pop_back();
    }
    current_ = 0;
    used_ = 0;
}

}  // namespace zqb
