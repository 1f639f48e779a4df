// morofin: the title screen on the Windows desktop.

#include "platform/runtime.h"
#include "platform/say.h"
#include "platform/text.h"
#include "platform/win32/win32_provider.h"
#include "rules/project.h"

int main() {
  platform::win32::Win32Provider provider;
  if (!provider.ok()) {
    platform::sayProblem("%s", provider.problem().c_str());
    return 2;
  }
  if (!platform::Fonts::problem().empty())
    platform::sayProblem("%s", platform::Fonts::problem().c_str());
  else if (!platform::Fonts::faceNote().empty())
    platform::sayProblem("%s", platform::Fonts::faceNote().c_str());
  platform::Runtime rt(provider, rules::morofinProject());
  return rt.run();
}
