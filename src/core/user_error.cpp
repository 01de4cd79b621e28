#include "core/user_error.h"

#include <fmt/format.h>

namespace ozr {

namespace {

// Code 99 marks messages that are complete sentences for the user on their own.
constexpr int kMessageOnlyCode = 99;

std::string lf_userErrorText(int code, const std::string& message) {
    if (code == kMessageOnlyCode) return message;
    return fmt::format("{}: {}", code, message);
}

}  // namespace

UserErrorException::UserErrorException(int code, const std::string& message)
    : std::runtime_error(lf_userErrorText(code, message)) {}

}  // namespace ozr
