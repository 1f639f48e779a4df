#include "rules/game_form.h"

#include "drawing/digits.h"
#include "drawing/playfield.h"
#include "platform/api.h"
#include "platform/keys.h"
#include "platform/runtime.h"
#include "rules/catching.h"
#include "rules/movement.h"
#include "rules/wandering.h"
#include "screens/designs.h"
#include "screens/game_numbers.h"
#include "sound/music.h"
#include "storage/hiscore.h"

namespace rules {

using platform::Image;
using platform::Label;
using platform::PictureBox;
using platform::TextBox;
using platform::Timer;

namespace {

bool keyPressed(int vk) {
  return platform::GetAsyncKeyState(vk) != 0;
}

// Pressed since the key was last asked about: one press of Space pauses or resumes once, however
// long it is held, and a tap shorter than one poll still counts.
bool keyPressedAgain(int vk) {
  return (platform::GetAsyncKeyState(vk) & 1) != 0;
}

// The numeric value of a one-character text.
I16 digitOf(const std::string& oneChar) {
  return I16::fromFloat(platform::Val(oneChar));
}

std::string firstChar(const std::string& s) {
  return s.substr(0, 1);
}
std::string lastChar(const std::string& s) {
  return s.empty() ? s : s.substr(s.size() - 1);
}

}  // namespace

GameForm::GameForm(platform::Runtime& rt) : Form(rt, screens::gameDesign()) {}

GameForm::Phase GameForm::phase() const {
  if (ctl<Timer>("endTimer").Interval() != 0) return Phase::kOver;
  if (ctl<Timer>("waitTimer").Interval() != 0) return Phase::kPaused;
  return Phase::kPlaying;
}

void GameForm::bindEvents() {
  ctl<Timer>("woboTimer").onTimer = [this] { woboTimer_Timer(); };
  ctl<Timer>("waitTimer").onTimer = [this] { waitTimer_Timer(); };
  ctl<Timer>("endTimer").onTimer = [this] { endTimer_Timer(); };
  // The pause and game-over polls only wait for Space.
  ctl<Timer>("waitTimer").pollsKeysOnly = true;
  ctl<Timer>("endTimer").pollsKeysOnly = true;
}

// Game start.
void GameForm::Form_Load() {
  Form& title = runtime().form("title");
  auto dataText = title.arr<TextBox>("dataText");

  st.score = 0;
  setLeft(title.Left());
  setTop(title.Top());
  st.modeKey = dataText[0].Text();
  st.timeOnes = 0;
  st.timeTens = digitOf(firstChar(dataText[1].Text()));
  st.speedAdj = I16::fromFloat(platform::Floor(platform::Val(dataText[2].Text())));
  ctl<Label>("dT").setCaption(dataText[3].Text());
  // The title's unload stops and closes the music alias, so it must come before our own open.
  title.Unload();
  platform::ChDriveAndDir(platform::AppPath());
  st.woboX = screens::kWoboStartX;
  st.woboY = screens::kWoboStartY;
  respawnZeka(st, runtime().random());
  st.woboDir = 0;
  drawing::showDigits(arr<Image>("scoreP"), arr<PictureBox>("num"), 0, 0);
  st.scoreOnes = 0;
  st.scoreTens = 0;
  sound::bgmPath = platform::AppPath() + "\\sound\\bgm_" + st.modeKey + ".mid";
  sound::openBgm();
  st.hiScore = storage::readHighScore(st.modeKey);
  const std::string hiText = platform::Str(st.hiScore);
  st.hiTens = hiText.size() == 1 ? I16(0) : digitOf(firstChar(hiText));
  st.hiOnes = digitOf(lastChar(hiText));
  drawing::showDigits(arr<Image>("hiS"), arr<PictureBox>("num"), st.hiTens, st.hiOnes);
}

void GameForm::Form_Unload() {
  sound::stopAndCloseBgm();
}

// The game tick.
void GameForm::woboTimer_Timer() {
  const PictureBox& map = ctl<PictureBox>("map");
  verticalKeyStep(st, keyPressed, map.ScaleHeight());
  horizontalKeyStep(st, keyPressed, map.ScaleWidth());
  diagonalCorrection(st);
  if (keyPressedAgain(platform::VK_SPACE)) pauseSteps();
  wanderZeka(st, runtime().random(), map.ScaleWidth(), map.ScaleHeight());
  if (zekaCaught(st)) {
    scoreUp();
    sound::playEffect("\\sound\\get.wav");
    respawnZeka(st, runtime().random());
  }
  drawFrame();
  st.movedUp = 0;
  st.tickCount = st.tickCount + 1;
  st.movedDown = 0;
  st.movedLeft = 0;
  st.movedRight = 0;
  if (st.tickCount == screens::kTicksPerClockStep) timeDown();
  sound::loopCheck();
}

void GameForm::drawFrame() {
  drawing::drawFrame(ctl<PictureBox>("map"), ctl<PictureBox>("mapPicture"), arr<PictureBox>("zeka"),
                     arr<PictureBox>("wobo"),
                     {st.zekaX, st.zekaY, st.zekaDir, st.woboX, st.woboY, st.woboDir});
}

void GameForm::pauseSteps() {
  ctl<Timer>("woboTimer").setInterval(0);
  ctl<Timer>("waitTimer").setInterval(screens::kPausePollMs);
  ctl<Label>("pauseL").setVisible(true);
  sound::pauseBgm();
  sound::playEffect("\\sound\\wait.wav");
}

// The pause poll: space resumes.
void GameForm::waitTimer_Timer() {
  if (!keyPressedAgain(platform::VK_SPACE)) return;
  ctl<Timer>("woboTimer").setInterval(screens::kTickMs);
  ctl<Timer>("waitTimer").setInterval(0);
  ctl<Label>("pauseL").setVisible(false);
  sound::resumeBgm();
  sound::playEffect("\\sound\\wait.wav");
}

void GameForm::gameEnd() {
  if (st.hiScore < st.score) storage::writeHighScore(st.modeKey, st.score);
  ctl<Timer>("endTimer").setInterval(screens::kGameOverPollMs);
  ctl<Label>("gameoverL", 0).setVisible(true);
  ctl<Label>("gameoverL", 1).setVisible(true);
}

// The game-over poll: space returns to the title screen, where this window stood.
void GameForm::endTimer_Timer() {
  if (!keyPressed(platform::VK_SPACE)) return;
  Form& title = runtime().form("title");
  title.Show();
  title.setLeft(Left());
  title.setTop(Top());
  Unload();
}

}  // namespace rules
