#pragma once

#include "platform/form.h"

namespace screens {

// The title screen: four mode buttons that start a game, and the quit button.
class TitleForm : public platform::Form {
 public:
  static constexpr const char* kName = "title";
  explicit TitleForm(platform::Runtime& rt);

  void Command1_Click();
  void Command2_Click();
  void Command3_Click();
  void Command4_Click();
  void Command5_Click();
  void Form_Unload() override;

 protected:
  void bindEvents() override;

 private:
  void chooseMode(int row);
};

}  // namespace screens
