#pragma once

#include "model/PeopleValueType.hpp"
#include "validation/PeopleReservedKeys.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zqb {

// The argument rules of the user card. Like the rules of the analytics calls, every text loses its control
// characters, is cut to its limit (WARNING) and must not come out empty (ERROR); `method` names the public
// call in the messages.
class PeopleValidatorRules {
public:
    PeopleValidatorRules() = delete;

    struct SetArguments {
        std::string key;
        PeopleValueType value;
    };

    // Set and increment: the key cut to 64 and required; the value an Int, a finite Double, a String (cut to
    // 255, required), a Bool or a gender that is one of its cases (which comes back as its raw Int). Every
    // check runs and logs; any failure cancels the call.
    static std::optional<SetArguments> validateSet(std::string_view method, std::string_view key,
                                                   const PeopleValueType& value);
    // Reading: the key cut to 64 and required, else the call is cancelled.
    static std::optional<std::string> validateKey(std::string_view method, std::string_view key);
    // Unset: each key cut to 64; empty ones are dropped one by one, in order, duplicates kept. Nothing, and
    // no cancel notice, when no key is left.
    static std::optional<std::vector<std::string>> validateUnset(std::string_view method,
                                                                 const std::vector<std::string>& keys);
    // The one value kind a reserved key takes: String for name, email, phone and photo, a gender for
    // gender, Int for age, Bool for cheater. Otherwise ERROR "Invalid value! The [<value>] value of the
    // reserved key [<key>] must be <kind>", without a cancel notice.
    static bool validateReservedValueType(std::string_view method, PeopleReservedKeys key,
                                          const PeopleValueType& value);
};

}  // namespace zqb
