#pragma once

#include <stdexcept>
#include <string>

namespace platform {

// A run-time error as the forms runtime reports it: a number and a message. Game handlers never
// catch these; the message loop reports them and ends the program.
class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(int number, const std::string& message)
      : std::runtime_error(message), number_(number) {}
  int number() const { return number_; }

 private:
  int number_;
};

// The error numbers the runtime raises.
namespace err {
inline constexpr int kInvalidCall = 5;
inline constexpr int kOverflow = 6;
inline constexpr int kSubscript = 9;
inline constexpr int kFileNotFound = 53;
inline constexpr int kPathError = 75;
inline constexpr int kObjectRequired = 424;
}  // namespace err

[[noreturn]] void raise(int number, const std::string& detail = {});

}  // namespace platform
