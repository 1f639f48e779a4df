// morofin: the title screen on the desktop.

#include "platform/runtime.h"
#include "platform/say.h"
#include "platform/sdl/sdl_provider.h"
#include "platform/text.h"
#include "rules/project.h"

int main() {
  platform::sdl::SdlProvider provider;
  if (!provider.ok()) {
    platform::sayProblem("%s", provider.problem().c_str());
    return 2;
  }
  if (!platform::Fonts::problem().empty())
    platform::sayProblem("%s", platform::Fonts::problem().c_str());
  platform::Runtime rt(provider, rules::morofinProject());
  return rt.run();
}
