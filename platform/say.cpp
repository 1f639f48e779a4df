#include "platform/say.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace platform {

void sayProblem(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  // One write, so that lines from two threads never interleave.
  const std::string line = std::string("morofin: ") + text + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);  // Windows buffers standard error when it goes to a file
}

}  // namespace platform
