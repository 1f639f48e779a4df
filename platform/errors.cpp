#include "platform/errors.h"

namespace platform {
namespace {

const char* describe(int number) {
  switch (number) {
    case err::kInvalidCall:
      return "Invalid procedure call or argument";
    case err::kOverflow:
      return "Overflow";
    case err::kSubscript:
      return "Subscript out of range";
    case err::kFileNotFound:
      return "File not found";
    case err::kPathError:
      return "Path/File access error";
    case err::kObjectRequired:
      return "Object required";
    default:
      return "Application-defined or object-defined error";
  }
}

}  // namespace

void raise(int number, const std::string& detail) {
  std::string msg = describe(number);
  if (!detail.empty()) msg += " (" + detail + ")";
  throw RuntimeError(number, msg);
}

}  // namespace platform
