#pragma once

#include "platform/form.h"
#include "rules/game_state.h"

namespace rules {

// The game screen: game start, the tick, the pause and game-over polls, and the score and clock
// procedures, over the one game state record.
class GameForm : public platform::Form {
 public:
  static constexpr const char* kName = "game";
  explicit GameForm(platform::Runtime& rt);

  // Where a loaded game stands. A pause that came in the tick that ended the clock leaves the
  // pause poll running beside the game-over poll: that game is over.
  enum class Phase { kPlaying, kPaused, kOver };
  Phase phase() const;

  void Form_Load() override;
  void Form_Unload() override;
  void woboTimer_Timer();
  void waitTimer_Timer();
  void endTimer_Timer();
  void scoreUp();
  void timeDown();
  void gameEnd();

  // Lives as long as the program; an unload does not clear it.
  GameState st;

 protected:
  void bindEvents() override;

 private:
  void pauseSteps();
  void drawFrame();
};

}  // namespace rules
