#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Text helpers shared by the records, the argument rules and the public boundary. Lengths are counted in
// user-perceived characters (extended grapheme clusters), never in bytes.
namespace zqb::text {

// True when every byte is below 0x80: such a text is valid UTF-8 and its own canonical (NFC) form.
bool isAscii(std::string_view text);
bool isValidUtf8(std::string_view text);
// Replaces every invalid UTF-8 sequence by U+FFFD; valid text comes back unchanged.
std::string repairUtf8(std::string_view text);

// Removes the code points of the general categories Cc and Cf (controls, formats such as U+200D).
std::string removeControlCharacters(std::string_view text);
bool containsControlCharacters(std::string_view text);

// The code point the text starts with; U+FFFD for an ill-formed sequence, 0 for an empty text.
char32_t firstCodePoint(std::string_view text);

std::size_t characterCount(std::string_view text);
// The first `count` characters; never cuts inside a grapheme cluster.
std::string characterPrefix(std::string_view text, std::size_t count);

// Canonical composition (NFC); texts that are canonically equivalent give the same bytes.
std::string nfc(std::string_view text);
bool canonicallyEqual(std::string_view a, std::string_view b);

// The text a Swift-style `description` gives a number: shortest digits that read back as the same value,
// ".0" on whole values, exponent form outside [1e-4, 2^53] ("1e-05", "1e+16"), "inf", "-inf", "nan".
std::string doubleDescription(double value);
// The same for a 32-bit float (exponent form above 2^24).
std::string floatDescription(float value);

// A random version-4 UUID in upper-case text, e.g. "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
std::string uuidString();

std::string base64Encode(std::string_view bytes);

// Whether the text is not empty and every byte passes a <cctype> test such as std::isalpha (ASCII codes and
// region tags are checked this way).
bool allBytes(std::string_view text, int (*test)(int));

}  // namespace zqb::text
