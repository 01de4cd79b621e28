// The program's own exception: a condition the user must fix.
#pragma once

#include <stdexcept>
#include <string>

namespace ozr {

// Carries nothing but its text: "{code}: {message}", or the message alone
// for code 99. Catchers show what() to the user, so the code lives only in
// the text.
class UserErrorException : public std::runtime_error {
public:
    UserErrorException(int code, const std::string& message);
};

}  // namespace ozr
