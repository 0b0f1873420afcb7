#pragma once

// Writes keyed archives as binary property lists with libplist, for the tests and fuzz targets of the
// legacy-archive reader: an objects table whose entry 0 is "$null", objects with a "$class" reference to a
// class entry, keyed and plain collections, and "$top" naming the root. Header-only, so that the fuzz
// targets (built without the test support library) can use it too.

#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace zqb::test {

class KeyedArchiveWriter {
public:
    using Index = uint64_t;
    // Fields of an object: archive key and value node. Use `ref()` for a reference to a table entry and the
    // plist constructors (`plist_new_uint`, ...) for values kept inline.
    using Fields = std::vector<std::pair<std::string, plist_t>>;

    KeyedArchiveWriter() { objects_.push_back(plist_new_string("$null")); }
    ~KeyedArchiveWriter() {
        for (plist_t node : objects_) {
            plist_free(node);
        }
    }
    KeyedArchiveWriter(const KeyedArchiveWriter&) = delete;
    KeyedArchiveWriter& operator=(const KeyedArchiveWriter&) = delete;

    static plist_t ref(Index index) { return plist_new_uid(index); }

    // A table entry holding `node` (owned from here on).
    Index add(plist_t node) {
        objects_.push_back(node);
        return objects_.size() - 1;
    }
    // How many entries the table holds.
    Index size() const { return objects_.size(); }
    // A table entry to be filled later with `set`, for archives whose objects refer to each other.
    Index reserve() { return add(plist_new_bool(0)); }
    void set(Index index, plist_t node) {
        plist_free(objects_.at(index));
        objects_.at(index) = node;
    }

    Index string(const std::string& text) { return add(plist_new_string(text.c_str())); }
    Index integer(int64_t value) { return add(plist_new_uint(static_cast<uint64_t>(value))); }
    Index real(double value) { return add(plist_new_real(value)); }
    // An integer in 128 bits, as archivers keep the values above the signed 64-bit range. The parser makes
    // such a node only when it reads one, so it comes from a property list written byte by byte.
    Index wideInteger(uint64_t value) {
        std::string list = "bplist00";
        list += '\x14';
        list.append(8, '\0');
        for (int shift = 56; shift >= 0; shift -= 8) {
            list += static_cast<char>((value >> shift) & 0xFF);
        }
        const auto table = static_cast<char>(list.size());
        list += '\x08';  // the offset of the one object
        list.append(6, '\0');
        list += "\x01\x01";  // offset and reference sizes
        list.append(7, '\0');
        list += '\x01';        // one object
        list.append(8, '\0');  // the top object
        list.append(7, '\0');
        list += table;  // where the offsets are
        plist_t node = nullptr;
        plist_from_bin(list.data(), static_cast<uint32_t>(list.size()), &node);
        return add(node);
    }
    Index boolean(bool value) { return add(plist_new_bool(value ? 1 : 0)); }

    // The class entry for `name`, written once.
    Index classEntry(const std::string& name) {
        const auto found = classes_.find(name);
        if (found != classes_.end()) {
            return found->second;
        }
        plist_t entry = plist_new_dict();
        plist_dict_set_item(entry, "$classname", plist_new_string(name.c_str()));
        plist_t chain = plist_new_array();
        plist_array_append_item(chain, plist_new_string(name.c_str()));
        plist_array_append_item(chain, plist_new_string("NSObject"));
        plist_dict_set_item(entry, "$classes", chain);
        return classes_[name] = add(entry);
    }

    plist_t objectNode(const std::string& className, const Fields& fields) {
        plist_t entry = plist_new_dict();
        plist_dict_set_item(entry, "$class", ref(classEntry(className)));
        for (const auto& [key, value] : fields) {
            plist_dict_set_item(entry, key.c_str(), value);
        }
        return entry;
    }
    Index object(const std::string& className, const Fields& fields) {
        return add(objectNode(className, fields));
    }

    Index list(const std::vector<Index>& elements) {
        return object("NSArray", {{"NS.objects", refs(elements)}});
    }
    Index dictionary(const std::vector<std::pair<Index, Index>>& entries) {
        std::vector<Index> keys;
        std::vector<Index> values;
        for (const auto& [key, value] : entries) {
            keys.push_back(key);
            values.push_back(value);
        }
        return object("NSDictionary", {{"NS.keys", refs(keys)}, {"NS.objects", refs(values)}});
    }
    // A dictionary with text keys.
    Index dictionary(const std::vector<std::pair<std::string, Index>>& entries) {
        std::vector<std::pair<Index, Index>> indexed;
        for (const auto& [key, value] : entries) {
            indexed.emplace_back(string(key), value);
        }
        return dictionary(indexed);
    }
    Index nullObject() { return object("NSNull", {}); }
    Index mutableString(const std::string& text) {
        return object("NSMutableString", {{"NS.string", plist_new_string(text.c_str())}});
    }
    Index date(double secondsSince2001) {
        return object("NSDate", {{"NS.time", plist_new_real(secondsSince2001)}});
    }

    // The archive's bytes, with `root` as the top-level object.
    std::string bytes(Index root) const { return bytes(ref(root)); }
    // The same with any node under "$top"/"root" (owned from here on), for archives with a broken top.
    std::string bytes(plist_t rootNode) const {
        plist_t archive = plist_new_dict();
        plist_dict_set_item(archive, "$version", plist_new_uint(100000));
        plist_dict_set_item(archive, "$archiver", plist_new_string("NSKeyedArchiver"));
        plist_t top = plist_new_dict();
        plist_dict_set_item(top, "root", rootNode);
        plist_dict_set_item(archive, "$top", top);
        plist_t objects = plist_new_array();
        for (plist_t node : objects_) {
            plist_array_append_item(objects, plist_copy(node));
        }
        plist_dict_set_item(archive, "$objects", objects);
        char* data = nullptr;
        uint32_t length = 0;
        plist_to_bin(archive, &data, &length);
        std::string result(data, length);
        plist_to_bin_free(data);
        plist_free(archive);
        return result;
    }

private:
    static plist_t refs(const std::vector<Index>& indexes) {
        plist_t array = plist_new_array();
        for (Index index : indexes) {
            plist_array_append_item(array, ref(index));
        }
        return array;
    }

    std::vector<plist_t> objects_;
    std::map<std::string, Index> classes_;
};

}  // namespace zqb::test
