#include "migration/KeyedUnarchiver.hpp"

#include "foundation/TextUtils.hpp"
#include "migration/BinaryPlistBounds.hpp"

#include <plist/plist.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace zqb {
namespace {

struct PlistFree {
    void operator()(void* node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

struct Free {
    void operator()(void* memory) const { std::free(memory); }
};

constexpr const char* kClassKey = "$class";

std::string stringOf(plist_t node) {
    uint64_t length = 0;
    const char* bytes = plist_get_string_ptr(node, &length);
    if (bytes == nullptr) {
        return {};
    }
    // Legacy texts go on into rows and JSON: keep them valid UTF-8.
    return text::repairUtf8(std::string_view(bytes, static_cast<std::size_t>(length)));
}

// A resolved value and the length of the longest path of references and nestings below it.
struct Resolved {
    ArchivedRef value;
    std::size_t height = 0;
};

// Resolves the entries of the objects table on demand, each once; `resolved_` shares the results. Every
// path from the root stays within the depth limit, so that neither this resolution nor releasing the graph
// recurses deeper than that.
class Resolver {
public:
    explicit Resolver(plist_t objects)
        : objects_(objects),
          count_(plist_array_get_size(objects)),
          resolved_(count_),
          state_(count_, State::unvisited) {}

    // The value of table entry `index`, reached `depth` levels below the root.
    Resolved reference(uint64_t index, std::size_t depth) {
        if (index == 0) {
            return {nil(), 0};
        }
        if (index >= count_) {
            throw KeyedUnarchiver::Error("reference outside the objects table");
        }
        switch (state_[index]) {
            case State::resolved:
                // A shared entry may be reached deeper than where it was first resolved: no path through
                // it may exceed the depth limit either.
                if (depth + resolved_[index].height > KeyedUnarchiver::maxDepth) {
                    throw KeyedUnarchiver::Error("nesting too deep");
                }
                return resolved_[index];
            case State::inProgress:
                throw KeyedUnarchiver::Error("cyclic reference");
            case State::unvisited:
                break;
        }
        state_[index] = State::inProgress;
        resolved_[index] = node(plist_array_get_item(objects_, static_cast<uint32_t>(index)), depth);
        state_[index] = State::resolved;
        return resolved_[index];
    }

private:
    enum class State { unvisited, inProgress, resolved };

    static ArchivedRef share(ArchivedValue value) {
        return std::make_shared<const ArchivedValue>(std::move(value));
    }
    static Resolved make(ArchivedValue value, std::size_t height = 0) {
        return {share(std::move(value)), height};
    }
    ArchivedRef nil() {
        if (!nil_) {
            nil_ = share({ArchivedValue::Nil{}});
        }
        return nil_;
    }

    // Whether the integer was archived in 128 bits, where the values above the signed 64-bit range are kept.
    // The parser gives both widths the same value and tells them apart only when it compares nodes: such a
    // node is unequal to the 64-bit node of its value.
    static bool isWide(plist_t item, uint64_t value) {
        const PlistPtr narrow(plist_new_uint(value));
        return plist_compare_node_value(item, narrow.get()) == 0;
    }

    Resolved node(plist_t item, std::size_t depth) {
        if (depth > KeyedUnarchiver::maxDepth) {
            throw KeyedUnarchiver::Error("nesting too deep");
        }
        switch (plist_get_node_type(item)) {
            case PLIST_BOOLEAN: {
                uint8_t value = 0;
                plist_get_bool_val(item, &value);
                return make({value != 0});
            }
            case PLIST_UINT: {
                uint64_t value = 0;
                plist_get_uint_val(item, &value);
                if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) &&
                    isWide(item, value)) {
                    return make({value});
                }
                // Integers of up to 64 bits are signed; the parser hands out their bits unsigned.
                return make({static_cast<int64_t>(value)});
            }
            case PLIST_REAL: {
                double value = 0;
                plist_get_real_val(item, &value);
                return make({value});
            }
            case PLIST_STRING:
                return make({stringOf(item)});
            case PLIST_UID: {
                uint64_t index = 0;
                plist_get_uid_val(item, &index);
                Resolved target = reference(index, depth + 1);
                ++target.height;
                return target;
            }
            case PLIST_ARRAY:
                return list(item, depth);
            case PLIST_DICT:
                return object(item, depth);
            case PLIST_DATE:
            case PLIST_DATA:
                return make({ArchivedValue::Other{}});
            default:
                throw KeyedUnarchiver::Error("unexpected value in the archive");
        }
    }

    Resolved list(plist_t array, std::size_t depth) {
        const uint32_t size = plist_array_get_size(array);
        ArchivedValue::List values;
        values.reserve(size);
        std::size_t height = 0;
        for (uint32_t index = 0; index < size; ++index) {
            Resolved element = node(plist_array_get_item(array, index), depth + 1);
            height = std::max(height, element.height + 1);
            values.push_back(std::move(element.value));
        }
        return make({std::move(values)}, height);
    }

    std::string className(plist_t classReference) {
        uint64_t index = 0;
        if (plist_get_node_type(classReference) != PLIST_UID) {
            throw KeyedUnarchiver::Error("class is not a reference");
        }
        plist_get_uid_val(classReference, &index);
        if (index == 0 || index >= count_) {
            throw KeyedUnarchiver::Error("class reference outside the objects table");
        }
        const plist_t entry = plist_array_get_item(objects_, static_cast<uint32_t>(index));
        const plist_t name =
            plist_get_node_type(entry) == PLIST_DICT ? plist_dict_get_item(entry, "$classname") : nullptr;
        if (name == nullptr || plist_get_node_type(name) != PLIST_STRING) {
            throw KeyedUnarchiver::Error("class without a name");
        }
        return stringOf(name);
    }

    Resolved object(plist_t dictionary, std::size_t depth) {
        const plist_t classReference = plist_dict_get_item(dictionary, kClassKey);
        if (classReference == nullptr) {
            throw KeyedUnarchiver::Error("object without a class");
        }
        ArchivedObject result{className(classReference), {}};
        std::size_t height = 0;

        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(dictionary, &iterator);
        const std::unique_ptr<void, Free> iteratorOwner(iterator);
        for (;;) {
            char* rawKey = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(dictionary, iterator, &rawKey, &item);
            const std::unique_ptr<char, Free> key(rawKey);
            if (item == nullptr) {
                break;
            }
            if (key && std::string_view(key.get()) != kClassKey) {
                Resolved field = node(item, depth + 1);
                height = std::max(height, field.height + 1);
                result.fields.insert_or_assign(key.get(), std::move(field.value));
            }
        }
        return {collection(std::move(result)), height};
    }

    // Collections, string objects and the null object become values of their own kind.
    static ArchivedRef collection(ArchivedObject object) {
        if (object.className == "NSNull") {
            return share({ArchivedValue::NullObject{}});
        }
        const ArchivedRef objects = object.field("NS.objects");
        if (const ArchivedRef keys = object.field("NS.keys")) {
            const auto* keyList = keys->get<ArchivedValue::List>();
            const auto* objectList = objects ? objects->get<ArchivedValue::List>() : nullptr;
            if (keyList == nullptr || objectList == nullptr || keyList->size() != objectList->size()) {
                throw KeyedUnarchiver::Error("keyed collection without matching keys and objects");
            }
            ArchivedValue::Pairs pairs;
            pairs.reserve(keyList->size());
            for (std::size_t index = 0; index < keyList->size(); ++index) {
                pairs.emplace_back((*keyList)[index], (*objectList)[index]);
            }
            return share({std::move(pairs)});
        }
        if (objects) {
            if (!objects->holds<ArchivedValue::List>()) {
                throw KeyedUnarchiver::Error("collection without a list of objects");
            }
            return objects;
        }
        if (const ArchivedRef string = object.field("NS.string"); string && string->holds<std::string>()) {
            return string;
        }
        return share({std::move(object)});
    }

    plist_t objects_;
    std::size_t count_;
    std::vector<Resolved> resolved_;
    std::vector<State> state_;
    ArchivedRef nil_;
};

}  // namespace

ArchivedRef KeyedUnarchiver::topLevelObject(std::string_view bytes) {
    if (bytes.size() > maxArchiveBytes || !BinaryPlistBounds::check(bytes, {maxDepth, maxExpandedBytes})) {
        throw Error("not a binary property list within the limits");
    }
    plist_t parsed = nullptr;
    plist_from_bin(bytes.data(), static_cast<uint32_t>(bytes.size()), &parsed);
    const PlistPtr root(parsed);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) {
        throw Error("not a binary property list of a dictionary");
    }
    const plist_t objects = plist_dict_get_item(root.get(), "$objects");
    const plist_t top = plist_dict_get_item(root.get(), "$top");
    if (objects == nullptr || plist_get_node_type(objects) != PLIST_ARRAY || top == nullptr ||
        plist_get_node_type(top) != PLIST_DICT) {
        throw Error("not a keyed archive");
    }
    const plist_t rootReference = plist_dict_get_item(top, "root");
    if (rootReference == nullptr || plist_get_node_type(rootReference) != PLIST_UID) {
        throw Error("archive without a root object");
    }
    uint64_t index = 0;
    plist_get_uid_val(rootReference, &index);
    return Resolver(objects).reference(index, 0).value;
}

}  // namespace zqb
