#include "rules/project.h"

#include "rules/game_form.h"
#include "screens/title.h"

namespace rules {

platform::Project morofinProject() {
  platform::Project p;
  p.startupForm = screens::TitleForm::kName;
  p.forms[screens::TitleForm::kName] = [](platform::Runtime& rt) {
    return std::make_unique<screens::TitleForm>(rt);
  };
  p.forms[GameForm::kName] = [](platform::Runtime& rt) { return std::make_unique<GameForm>(rt); };
  return p;
}

}  // namespace rules
