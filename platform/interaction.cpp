#include "platform/interaction.h"

#include "platform/keys.h"
#include "platform/runtime.h"

namespace platform {
namespace {

CommandButton* findButton(Form& form, const std::string& formName, const std::string& name) {
  if (form.name() != formName || name.empty() || !form.loaded()) return nullptr;
  for (const auto& c : form.controls())
    if (c->name() == name && c->kind() == ControlKind::kCommandButton)
      return static_cast<CommandButton*>(c.get());
  return nullptr;
}

bool inside(const Control& c, int x, int y) {
  return x >= c.leftPx() && y >= c.topPx() && x < c.leftPx() + c.widthPx() &&
         y < c.topPx() + c.heightPx();
}

}  // namespace

CommandButton* Interaction::buttonAt(Form& form, int x, int y) const {
  if (!form.loaded()) return nullptr;
  for (const auto& c : form.controls())
    if (c->kind() == ControlKind::kCommandButton && c->Visible() && c->parentName().empty() &&
        inside(*c, x, y))
      return static_cast<CommandButton*>(c.get());
  return nullptr;
}

void Interaction::click(CommandButton& b) {
  auto handler = b.onClick;
  if (handler) rt_.dispatch(handler);
}

void Interaction::mouseDown(Form& form, int x, int y) {
  CommandButton* b = buttonAt(form, x, y);
  if (!b) return;
  form.setFocus(b);
  b->setPressed(true);
  captureForm_ = form.name();
  captureName_ = b->name();
}

void Interaction::mouseMove(Form& form, int x, int y) {
  if (CommandButton* b = findButton(form, captureForm_, captureName_))
    b->setPressed(inside(*b, x, y));
}

void Interaction::mouseUp(Form& form, int x, int y) {
  CommandButton* b = findButton(form, captureForm_, captureName_);
  captureForm_.clear();
  captureName_.clear();
  if (!b) return;
  b->setPressed(false);
  if (inside(*b, x, y)) click(*b);
}

void Interaction::keyDown(Form& form, int vk, bool shift) {
  if (!form.loaded()) return;
  if (vk == VK_TAB) {
    cancel(form);
    form.moveFocus(shift);
    return;
  }
  auto* b = dynamic_cast<CommandButton*>(form.focused());
  if (!b) return;
  if (vk == VK_SPACE) {
    b->setPressed(true);
    spaceForm_ = form.name();
    spaceName_ = b->name();
  } else if (vk == VK_RETURN) {
    click(*b);
  }
}

void Interaction::keyUp(Form& form, int vk) {
  if (vk != VK_SPACE) return;
  // Only a press this window saw on this button clicks it: a space that began elsewhere (the
  // press that left the game-over screen) does nothing here.
  CommandButton* b = findButton(form, spaceForm_, spaceName_);
  spaceForm_.clear();
  spaceName_.clear();
  if (!b) return;
  b->setPressed(false);
  if (form.focused() == b) click(*b);
}

void Interaction::cancel(Form& form) {
  if (CommandButton* b = findButton(form, spaceForm_, spaceName_)) b->setPressed(false);
  if (CommandButton* b = findButton(form, captureForm_, captureName_)) b->setPressed(false);
  if (form.name() == spaceForm_) spaceForm_.clear();
  if (form.name() == captureForm_) captureForm_.clear();
}

}  // namespace platform
