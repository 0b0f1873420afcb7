#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The steps every text argument of a public call goes through, in this order: control characters removed,
// cut to its limit, tested non-empty.
namespace zqb::argument {

// The text without Cc and Cf code points, then cut to `limit` characters with the WARNING of `Bounder`.
std::string cleanedAndCut(std::string_view method, std::string_view argument, std::string_view value,
                          int64_t limit);

// True when the text holds a character; else the "is empty!" ERROR of `Validator`.
bool required(std::string_view method, std::string_view argument, const std::string& value);

}  // namespace zqb::argument
