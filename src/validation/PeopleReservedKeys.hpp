#pragma once

#include <array>
#include <string_view>

namespace zqb {

// The user-card keys whose values have a fixed kind (see `PeopleValidatorRules::validateReservedValueType`).
enum class PeopleReservedKeys { name, email, phone, photo, gender, age, cheater };

inline constexpr std::array<PeopleReservedKeys, 7> PeopleReservedKeysAllCases{
    PeopleReservedKeys::name,   PeopleReservedKeys::email,  PeopleReservedKeys::phone,
    PeopleReservedKeys::photo,  PeopleReservedKeys::gender, PeopleReservedKeys::age,
    PeopleReservedKeys::cheater};

// The key's name on the card, which is also its description.
constexpr std::string_view rawValue(PeopleReservedKeys key) {
    switch (key) {
        case PeopleReservedKeys::name:
            return "name";
        case PeopleReservedKeys::email:
            return "email";
        case PeopleReservedKeys::phone:
            return "phone";
        case PeopleReservedKeys::photo:
            return "photo";
        case PeopleReservedKeys::gender:
            return "gender";
        case PeopleReservedKeys::age:
            return "age";
        case PeopleReservedKeys::cheater:
            break;
    }
    return "cheater";
}

}  // namespace zqb
