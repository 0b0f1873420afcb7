#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace zqb {

struct ArchivedValue;
// Values are shared where the archive shares them: an object referred to twice is resolved once.
using ArchivedRef = std::shared_ptr<const ArchivedValue>;

// An archived object of a class of its own: its class name and its keyed fields ("$class" left out).
struct ArchivedObject {
    std::string className;
    std::map<std::string, ArchivedRef> fields;

    // The field under `key`; null when there is none.
    ArchivedRef field(const std::string& key) const;
};

// One value of a keyed archive, with references resolved: the nil reference, a scalar, a plain collection
// (list), a keyed collection (pairs in archive order), the archive's null object, an object of its own
// class, or a value of another kind (a date, raw data) that the legacy records never read.
//
// Integers are signed 64-bit values (`int64_t`), as the archive holds every integer that fits one; only an
// integer above that range, which the archive holds in 128 bits, is an unsigned one (`uint64_t`).
struct ArchivedValue {
    struct Nil {};
    struct NullObject {};
    struct Other {};
    using List = std::vector<ArchivedRef>;
    using Pairs = std::vector<std::pair<ArchivedRef, ArchivedRef>>;

    std::variant<Nil, bool, int64_t, uint64_t, double, std::string, List, Pairs, NullObject, ArchivedObject,
                 Other>
        value;

    // The held alternative, or null when the value holds another one.
    template <typename T>
    const T* get() const {
        return std::get_if<T>(&value);
    }
    template <typename T>
    bool holds() const {
        return std::holds_alternative<T>(value);
    }
};

}  // namespace zqb
