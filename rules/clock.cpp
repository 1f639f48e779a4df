#include "drawing/digits.h"
#include "platform/runtime.h"
#include "rules/game_form.h"
#include "sound/music.h"

namespace rules {

using platform::Image;
using platform::PictureBox;

// One point more; the shown digits count on their own, with carry, and wrap from 99 to 00.
void GameForm::scoreUp() {
  st.score = st.score + 1;
  if (st.scoreOnes == 9) {
    st.scoreOnes = 0;
    st.scoreTens = st.scoreTens + 1;
    if (st.scoreTens == 10) st.scoreTens = 0;
  } else {
    st.scoreOnes = st.scoreOnes + 1;
  }
  drawing::showDigits(arr<Image>("scoreP"), arr<PictureBox>("num"), st.scoreTens, st.scoreOnes);
}

// One clock step; the step that finds 0 0 ends the game.
void GameForm::timeDown() {
  st.tickCount = 0;
  if (st.timeOnes != 0) {
    st.timeOnes = st.timeOnes - 1;
  } else if (st.timeTens != 0) {
    st.timeOnes = 9;
    st.timeTens = st.timeTens - 1;
  } else {
    sound::stopAndCloseBgm();
    sound::playEffect("\\sound\\end.wav");
    ctl<platform::Timer>("woboTimer").setInterval(0);
    gameEnd();
  }
  drawing::showDigits(arr<Image>("lastT"), arr<PictureBox>("num"), st.timeTens, st.timeOnes);
}

}  // namespace rules
