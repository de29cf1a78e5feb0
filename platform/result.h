#pragma once

#include <string>
#include <variant>

namespace vemla {

// The one shape of an outcome above the platform layer (which returns bare system error
// numbers): a value, or the text of what went wrong with the system's error number behind it.
template <typename T = std::monostate> struct TResult {
    T Value{};
    std::string Error;   // CP1251, as the user will read it; empty on success
    int SystemError = 0; // the system's error number behind Error; 0 when there is none

    bool Ok() const { return Error.empty(); }
};

} // namespace vemla
