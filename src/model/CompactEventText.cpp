#include "model/CompactEventText.hpp"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace zqb {
namespace {

// The byte sequences that byte 0x01 + index stands for: the keys of the event records with the punctuation
// around them, in the order they are written, then the punctuation that every object repeats. Nothing in
// compact form outlives the process, so the list is free to change from one version to the next.
constexpr std::array<std::string_view, 30> kSequences{
    R"({"code":")",
    R"(","timestamp":)",
    R"(,"sessionId":)",
    R"(,"level":)",
    R"(,"name":")",
    R"(","parameters":{")",
    R"(,"parameters":{")",
    R"(,"inProgress":[")",
    R"(,"inExperiments":")",
    R"(,"currencyCode":")",
    R"(,"productId":")",
    R"(,"orderId":")",
    R"(,"price":)",
    R"(,"source":")",
    R"(,"balance":{")",
    R"(,"spent":{")",
    R"(,"earned":{")",
    R"(,"length":)",
    R"(,"socialNetwork":")",
    R"(,"regionCode":")",
    R"(,"purchase)",
    R"(,"step":)",
    R"(":{")",
    R"(":")",
    R"(",")",
    R"(":)",
    R"(,")",
    R"(}})",
    R"("})",
    R"("])",
};

constexpr unsigned char kFirstCode = 0x01;
constexpr unsigned char kLastCode = 0x1F;
// Time stamps and session ids are milliseconds since 1970, runs of thirteen digits for centuries to come:
// such a run is this code and the six bytes of its value, lowest first.
constexpr unsigned char kDigitsCode = kLastCode;
constexpr std::size_t kDigits = 13;
constexpr std::size_t kDigitBytes = 6;
static_assert(kSequences.size() == kDigitsCode - kFirstCode);

// Codes of sequences that may begin at a place of a text, longest first: the longest sequence that matches
// is taken.
template <std::size_t Capacity>
struct Candidates {
    std::array<unsigned char, Capacity> codes{};
    std::size_t count = 0;

    // Adds the sequence of `index` behind those at least as long.
    constexpr void add(std::size_t index) {
        if (count == Capacity) {
            throw "more candidates than room";  // fails the constant evaluation
        }
        std::size_t at = count++;
        while (at > 0 && kSequences[codes[at - 1] - kFirstCode].size() < kSequences[index].size()) {
            codes[at] = codes[at - 1];
            --at;
        }
        codes[at] = static_cast<unsigned char>(kFirstCode + index);
    }
};

// By first byte: every sequence that begins with it.
constexpr std::array<Candidates<kSequences.size()>, 256> candidatesByFirstByte() {
    std::array<Candidates<kSequences.size()>, 256> table{};
    for (std::size_t index = 0; index < kSequences.size(); ++index) {
        table[static_cast<unsigned char>(kSequences[index][0])].add(index);
    }
    return table;
}

constexpr auto kCandidates = candidatesByFirstByte();

// The bytes sequences begin with, and for each of them its place, from 1 on.
constexpr std::string_view kFirstBytes = "{\",}";

constexpr std::array<unsigned char, 256> firstByteSlots() {
    std::array<unsigned char, 256> slots{};
    for (std::size_t index = 0; index < kFirstBytes.size(); ++index) {
        slots[static_cast<unsigned char>(kFirstBytes[index])] = static_cast<unsigned char>(index + 1);
    }
    for (const auto sequence : kSequences) {
        if (slots[static_cast<unsigned char>(sequence[0])] == 0) {
            throw "a sequence begins with a byte missing from kFirstBytes";
        }
    }
    return slots;
}

constexpr auto kFirstByteSlots = firstByteSlots();

// The pairs of bytes the sequences begin with.
constexpr std::array<std::string_view, 7> kPairs{"{\"", "\",", "\":", "\"}", "\"]", ",\"", "}}"};

// By a first byte's place in `kFirstBytes` and a second byte: the place of that pair in `kPairs`, from 1 on;
// 0 when no sequence begins with the two bytes.
using PairPlaces = std::array<std::array<unsigned char, 256>, kFirstBytes.size() + 1>;

constexpr PairPlaces pairPlaces() {
    PairPlaces places{};
    for (std::size_t index = 0; index < kPairs.size(); ++index) {
        places[kFirstByteSlots[static_cast<unsigned char>(kPairs[index][0])]]
              [static_cast<unsigned char>(kPairs[index][1])] = static_cast<unsigned char>(index + 1);
    }
    for (const auto sequence : kSequences) {
        if (places[kFirstByteSlots[static_cast<unsigned char>(sequence[0])]]
                  [static_cast<unsigned char>(sequence[1])] == 0) {
            throw "a sequence begins with a pair missing from kPairs";
        }
    }
    return places;
}

constexpr PairPlaces kPairPlaces = pairPlaces();

// By first pair and third byte, where the text has three bytes: only the sequences that may still match
// there, those of that pair and third byte and the two-byte ones of that pair, in the order of
// `kCandidates`. Keys are mostly told apart by their first letter, after `,"` or `","`: a comma, met after
// every member, looks at one or two sequences instead of twenty, a quote at no more than three.
constexpr std::size_t kNarrowedCapacity = 8;
using Narrowed = std::array<std::array<Candidates<kNarrowedCapacity>, 256>, kPairs.size() + 1>;

constexpr Narrowed narrowedByPairAndThirdByte() {
    Narrowed table{};
    for (std::size_t pair = 0; pair < kPairs.size(); ++pair) {
        const auto& all = kCandidates[static_cast<unsigned char>(kPairs[pair][0])];
        for (std::size_t third = 0; third < 256; ++third) {
            auto& entry = table[pair + 1][third];
            for (std::size_t at = 0; at < all.count; ++at) {
                const std::string_view sequence = kSequences[all.codes[at] - kFirstCode];
                if (sequence[1] == kPairs[pair][1] &&
                    (sequence.size() < 3 || static_cast<unsigned char>(sequence[2]) == third)) {
                    entry.add(all.codes[at] - kFirstCode);
                }
            }
        }
    }
    return table;
}

constexpr Narrowed kNarrowed = narrowedByPairAndThirdByte();

// What each byte is to the compact form: a byte copied as it is, a digit, a byte that may begin a sequence,
// or a byte below 0x20, which the compact form cannot hold.
enum class ByteKind : unsigned char { literal, digit, sequence, control };

constexpr std::array<ByteKind, 256> byteKinds() {
    std::array<ByteKind, 256> kinds{};
    for (std::size_t byte = 0; byte < 0x20; ++byte) {
        kinds[byte] = ByteKind::control;
    }
    for (char digit = '0'; digit <= '9'; ++digit) {
        kinds[static_cast<unsigned char>(digit)] = ByteKind::digit;
    }
    for (const auto first : kFirstBytes) {
        kinds[static_cast<unsigned char>(first)] = ByteKind::sequence;
    }
    return kinds;
}

constexpr auto kByteKinds = byteKinds();

// Up to eight bytes of `bytes` as one word, in the order a load from memory gives them; `byte` 0 where
// `bytes` is shorter.
constexpr uint64_t word(std::string_view bytes) {
    uint64_t value = 0;
    for (std::size_t index = 0; index < 8 && index < bytes.size(); ++index) {
        const auto shift = std::endian::native == std::endian::little ? 8 * index : 56 - 8 * index;
        value |= uint64_t{static_cast<unsigned char>(bytes[index])} << shift;
    }
    return value;
}

// The first eight bytes of each sequence and the mask of those it has, to turn most candidates down with one
// comparison.
struct Prefix {
    uint64_t bytes = 0;
    uint64_t mask = 0;
};

constexpr std::array<Prefix, kSequences.size()> prefixes() {
    std::array<Prefix, kSequences.size()> table{};
    for (std::size_t index = 0; index < kSequences.size(); ++index) {
        table[index].bytes = word(kSequences[index]);
        table[index].mask = word(std::string_view(
            "\xff\xff\xff\xff\xff\xff\xff\xff", kSequences[index].size() < 8 ? kSequences[index].size() : 8));
    }
    return table;
}

constexpr auto kPrefixes = prefixes();

// The code of the longest sequence that `text` begins with, or 0 when none.
template <std::size_t Capacity>
unsigned char longestMatch(const Candidates<Capacity>& entry, std::string_view text) {
    uint64_t loaded = 0;
    if (text.size() >= sizeof(loaded)) {
        std::memcpy(&loaded, text.data(), sizeof(loaded));
    } else {
        // Near the end of the text the missing bytes stay 0; the length test below keeps a longer sequence
        // from matching there.
        char head[sizeof(loaded)] = {};
        std::memcpy(head, text.data(), text.size());
        std::memcpy(&loaded, head, sizeof(loaded));
    }
    for (std::size_t index = 0; index < entry.count; ++index) {
        const unsigned char code = entry.codes[index];
        const Prefix& prefix = kPrefixes[code - kFirstCode];
        const std::string_view sequence = kSequences[code - kFirstCode];
        if ((loaded & prefix.mask) == prefix.bytes && sequence.size() <= text.size() &&
            (sequence.size() <= 8 ||
             std::memcmp(text.data() + 8, sequence.data() + 8, sequence.size() - 8) == 0)) {
            return code;
        }
    }
    return 0;
}

bool isDigit(unsigned char byte) {
    return byte >= '0' && byte <= '9';
}

// Writes the code and the bytes of the thirteen digits at `digits`.
char* encodeDigits(const char* digits, char* out) {
    uint64_t value = 0;
    for (std::size_t index = 0; index < kDigits; ++index) {
        value = value * 10 + static_cast<uint64_t>(digits[index] - '0');
    }
    *out++ = static_cast<char>(kDigitsCode);
    for (std::size_t index = 0; index < kDigitBytes; ++index) {
        *out++ = static_cast<char>((value >> (8 * index)) & 0xFF);
    }
    return out;
}

// Writes the thirteen digits of the number whose bytes are at `bytes`.
char* decodeDigits(const char* bytes, char* out) {
    uint64_t value = 0;
    for (std::size_t index = kDigitBytes; index > 0; --index) {
        value = (value << 8) | static_cast<unsigned char>(bytes[index - 1]);
    }
    for (std::size_t index = kDigits; index > 0; --index) {
        out[index - 1] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return out + kDigits;
}

// Walks a compact form: `sequence` for each code of a sequence, `digits` for each number held in bytes (its
// bytes), `literal` for each byte kept as it is. A number held in bytes cut short, which only a form not made
// here can hold, ends the text.
template <typename Sequence, typename Digits, typename Literal>
void walkCompact(std::string_view compact, Sequence sequence, Digits digits, Literal literal) {
    const char* read = compact.data();
    const char* const end = read + compact.size();
    while (read != end) {
        const auto byte = static_cast<unsigned char>(*read);
        if (byte < kFirstCode || byte > kLastCode) {
            literal(*read++);
        } else if (byte != kDigitsCode) {
            sequence(kSequences[byte - kFirstCode]);
            ++read;
        } else if (static_cast<std::size_t>(end - read) > kDigitBytes) {
            digits(read + 1);
            read += 1 + kDigitBytes;
        } else {
            break;
        }
    }
}

}  // namespace

std::size_t CompactEventText::compactInto(std::string_view text, char* out) {
    char* const start = out;
    const char* read = text.data();
    const char* const end = read + text.size();
    while (read != end) {
        const auto byte = static_cast<unsigned char>(*read);
        switch (kByteKinds[byte]) {
            case ByteKind::literal: {
                const char* run = read + 1;
                while (run != end && kByteKinds[static_cast<unsigned char>(*run)] == ByteKind::literal) {
                    ++run;
                }
                std::memcpy(out, read, static_cast<std::size_t>(run - read));
                out += run - read;
                read = run;
                continue;
            }
            case ByteKind::control:
                return kNotCompact;
            case ByteKind::digit: {
                const char* run = read;
                while (run != end && isDigit(static_cast<unsigned char>(*run))) {
                    ++run;
                }
                // A run of thirteen digits or more is held in bytes from its start, what follows the thirteen
                // as it is.
                if (run - read >= static_cast<std::ptrdiff_t>(kDigits)) {
                    out = encodeDigits(read, out);
                    read += kDigits;
                }
                std::memcpy(out, read, static_cast<std::size_t>(run - read));
                out += run - read;
                read = run;
                continue;
            }
            case ByteKind::sequence:
                break;
        }
        const std::string_view rest(read, static_cast<std::size_t>(end - read));
        unsigned char code = 0;
        if (rest.size() >= 3) {
            const unsigned char pair =
                kPairPlaces[kFirstByteSlots[byte]][static_cast<unsigned char>(rest[1])];
            if (pair != 0) {
                code = longestMatch(kNarrowed[pair][static_cast<unsigned char>(rest[2])], rest);
            }
        } else {
            code = longestMatch(kCandidates[byte], rest);
        }
        if (code == 0) {
            *out++ = static_cast<char>(byte);
            ++read;
            continue;
        }
        *out++ = static_cast<char>(code);
        read += kSequences[code - kFirstCode].size();
    }
    return static_cast<std::size_t>(out - start);
}

std::size_t CompactEventText::compactSize(std::string_view text) {
    std::string out(text.size(), '\0');
    return compactInto(text, out.data());
}

std::optional<std::string> CompactEventText::compact(std::string_view text) {
    std::string out(text.size(), '\0');
    const std::size_t size = compactInto(text, out.data());
    if (size == kNotCompact) {
        return std::nullopt;
    }
    out.resize(size);
    return out;
}

void CompactEventText::appendExpanded(std::string& out, std::string_view compact) {
    std::size_t size = 0;
    walkCompact(
        compact, [&](std::string_view sequence) { size += sequence.size(); },
        [&](const char*) { size += kDigits; }, [&](char) { ++size; });
    const std::size_t start = out.size();
    out.resize(start + size);
    char* write = out.data() + start;
    walkCompact(
        compact,
        [&](std::string_view sequence) {
            std::memcpy(write, sequence.data(), sequence.size());
            write += sequence.size();
        },
        [&](const char* bytes) { write = decodeDigits(bytes, write); }, [&](char byte) { *write++ = byte; });
}

std::string CompactEventText::expand(std::string_view compact) {
    std::string out;
    appendExpanded(out, compact);
    return out;
}

}  // namespace zqb
