#include "screens/title.h"

#include "platform/runtime.h"
#include "screens/designs.h"
#include "sound/music.h"

namespace screens {

using platform::CommandButton;
using platform::TextBox;

TitleForm::TitleForm(platform::Runtime& rt) : Form(rt, titleDesign()) {}

void TitleForm::bindEvents() {
  ctl<CommandButton>("Command1").onClick = [this] { Command1_Click(); };
  ctl<CommandButton>("Command2").onClick = [this] { Command2_Click(); };
  ctl<CommandButton>("Command3").onClick = [this] { Command3_Click(); };
  ctl<CommandButton>("Command4").onClick = [this] { Command4_Click(); };
  ctl<CommandButton>("Command5").onClick = [this] { Command5_Click(); };
}

void TitleForm::chooseMode(int row) {
  const ModeRow& m = kModeTable[row];
  auto dataText = arr<TextBox>("dataText");
  dataText[0].setText(m.key);
  dataText[1].setText(m.timeText);
  dataText[2].setText(m.speedText);
  dataText[3].setText(m.displayName);
  // Showing the game screen runs its load step, which closes this screen.
  runtime().form("game").Show();
}

void TitleForm::Command1_Click() {
  chooseMode(0);
}
void TitleForm::Command2_Click() {
  chooseMode(1);
}
void TitleForm::Command3_Click() {
  chooseMode(2);
}
void TitleForm::Command4_Click() {
  chooseMode(3);
}
void TitleForm::Command5_Click() {
  Unload();
}

void TitleForm::Form_Unload() {
  sound::stopAndCloseBgm();
}

}  // namespace screens
