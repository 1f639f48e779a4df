// morofin: the title screen on the desktop.
#include <cstdio>

#include "platform/runtime.h"
#include "platform/sdl/sdl_provider.h"
#include "platform/text.h"
#include "rules/project.h"

int main() {
  platform::sdl::SdlProvider provider;
  if (!provider.ok()) {
    std::fprintf(stderr, "morofin: %s\n", provider.problem().c_str());
    return 2;
  }
  if (!platform::Fonts::problem().empty())
    std::fprintf(stderr, "morofin: %s\n", platform::Fonts::problem().c_str());
  platform::Runtime rt(provider, rules::morofinProject());
  return rt.run();
}
