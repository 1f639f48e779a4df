// Pause and resume, game over, closing a screen, and the music around them.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>

#include "platform/keys.h"
#include "tests/testkit.h"

using platform::VK_LEFT;
using platform::VK_SPACE;
using testkit::commandsOnly;
using testkit::Game;
using testkit::interval;
using testkit::shown;

namespace {

TEST(Pause, MidIntervalKeepsTheClockAndThePausingTickRunsToItsEnd) {
  Game g;
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(4));
  ASSERT_TRUE(g.ticks(6));
  g.tap(VK_SPACE);
  size_t before = g.media.size();
  ASSERT_TRUE(g.ticks(1));  // the 7th tick pauses
  EXPECT_TRUE(g.paused());
  EXPECT_EQ(interval(g, "woboTimer"), 0);
  EXPECT_TRUE(g.game().control("pauseL").Visible());
  EXPECT_EQ(g.st().tickCount, 7);  // the pausing tick still counted itself
  EXPECT_EQ(g.mediaLog(before),
            (std::vector<std::string>{"mci:Pause Midi", "wave:\\sound\\wait.wav",
                                      "mci:status Midi mode"}));
  EXPECT_EQ(g.provider.sequencer()->mode, "paused");
  auto [x, y] = std::pair{g.st().zekaX, g.st().zekaY};
  ASSERT_TRUE(g.advance(500));
  EXPECT_EQ(g.st().zekaX, x);  // nothing moves while paused
  EXPECT_EQ(g.st().zekaY, y);
  EXPECT_EQ(g.st().tickCount, 7);
  before = g.media.size();
  g.tap(VK_SPACE);
  ASSERT_TRUE(g.advance(10));
  EXPECT_FALSE(g.paused());
  EXPECT_FALSE(g.game().control("pauseL").Visible());
  EXPECT_EQ(commandsOnly(g.mediaLog(before)),
            (std::vector<std::string>{"mci:Play Midi", "wave:\\sound\\wait.wav"}));
  EXPECT_EQ(g.provider.sequencer()->mode, "playing");
  // The next clock step comes 13 ticks after the resume.
  ASSERT_TRUE(g.ticks(12));
  EXPECT_EQ(g.st().tickCount, 19);
  EXPECT_EQ(shown(g, "lastT"), 0);
  ASSERT_TRUE(g.ticks(1));
  EXPECT_EQ(shown(g, "lastT"), 59);
}

// One press of Space, one toggle, however long the key is held: a press as people make it lasts
// many polls of 10 ms.
TEST(Pause, OnePressPausesOrResumesOnceHoweverLongItIsHeld) {
  for (int heldMs : {0, 3, 80, 200, 1500}) {
    SCOPED_TRACE(heldMs);
    Game g;
    ASSERT_TRUE(g.start());
    ASSERT_TRUE(g.click(2));
    ASSERT_TRUE(g.ticks(3));
    auto countToggles = [&](size_t from) {
      int n = 0;
      for (const auto& l : g.mediaLog(from)) n += l == "mci:Pause Midi" || l == "mci:Play Midi";
      return n;
    };
    size_t before = g.media.size();
    g.hold(VK_SPACE);
    ASSERT_TRUE(g.advance(heldMs));
    g.release(VK_SPACE);
    ASSERT_TRUE(g.advance(300));
    EXPECT_TRUE(g.paused());
    EXPECT_EQ(countToggles(before), 1);  // paused once, never resumed by the same press
    // The press that resumes does not pause again at the next tick, held or not.
    before = g.media.size();
    g.hold(VK_SPACE);
    ASSERT_TRUE(g.advance(heldMs));
    g.release(VK_SPACE);
    ASSERT_TRUE(g.advance(300));
    EXPECT_FALSE(g.paused());
    EXPECT_EQ(countToggles(before), 1);
    EXPECT_FALSE(g.game().control("pauseL").Visible());
  }
}

TEST(Pause, ATapShorterThanOnePollStillCounts) {
  Game g;
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(1));
  ASSERT_TRUE(g.advance(3));  // between two ticks
  g.tap(VK_SPACE);
  ASSERT_TRUE(g.ticks(1));
  EXPECT_TRUE(g.paused());
  ASSERT_TRUE(g.advance(4));
  g.tap(VK_SPACE);
  ASSERT_TRUE(g.advance(10));
  EXPECT_FALSE(g.paused());
}

TEST(GameOver, PauseAndEndInTheSameTickLeaveBothPollsRunning) {
  Game g;
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(1));
  auto& s = g.st();
  s.timeTens = 0;
  s.timeOnes = 0;
  s.tickCount = 19;
  g.tap(VK_SPACE);
  size_t before = g.media.size();
  ASSERT_TRUE(g.ticks(1));
  EXPECT_EQ(interval(g, "waitTimer"), 10);
  EXPECT_EQ(interval(g, "endTimer"), 1);
  EXPECT_EQ(interval(g, "woboTimer"), 0);
  EXPECT_TRUE(g.game().control("pauseL").Visible());
  EXPECT_TRUE(g.game().control("gameoverL", 0).Visible());
  EXPECT_TRUE(g.game().control("gameoverL", 1).Visible());
  // Pause, then the ending step; the loop check after "Close Midi" restarts nothing.
  EXPECT_EQ(g.mediaLog(before),
            (std::vector<std::string>{"mci:Pause Midi", "wave:\\sound\\wait.wav", "mci:Stop Midi",
                                      "mci:Close Midi", "wave:\\sound\\end.wav",
                                      "mci:status Midi mode"}));
  EXPECT_EQ(g.provider.sequencer(), nullptr);
  g.tap(VK_SPACE);
  ASSERT_TRUE(g.advance(20));
  EXPECT_TRUE(g.title().loaded());
  EXPECT_FALSE(g.game().loaded());
}

// Paused and game over, the polls only wait for Space: once they have looked, nothing is due until
// a key changes, so the program sleeps instead of waking every 10 ms or every 1 ms. Space still
// acts at the poll's next point.
TEST(GameOver, PausedOrOverTheProgramSleepsUntilAKeyChanges) {
  for (bool over : {false, true}) {
    SCOPED_TRACE(over ? "game over" : "paused");
    Game g;
    ASSERT_TRUE(g.start());
    ASSERT_TRUE(g.click(1));
    if (over) {
      ASSERT_TRUE(g.endWith(0));
    } else {
      g.tap(VK_SPACE);
      ASSERT_TRUE(g.ticks(1));
      ASSERT_TRUE(g.paused());
    }
    ASSERT_TRUE(g.advance(30));
    EXPECT_FALSE(g.rt->nextDeadline());
    g.hold(VK_LEFT);  // another key: one look, then asleep again
    ASSERT_TRUE(g.advance(30));
    EXPECT_FALSE(g.rt->nextDeadline());
    g.tap(VK_SPACE);
    ASSERT_TRUE(g.advance(10));
    EXPECT_EQ(over ? g.title().loaded() : !g.paused(), true);
  }
}

TEST(GameOver, WritesOnlyABeatenScoreAndShowsTheOldOne) {
  for (int score : {5, 6}) {
    Game g;
    g.folder.write("data/n.dat", "5\r\n");
    const auto writtenBefore = std::filesystem::last_write_time(g.folder.file("data/n.dat"));
#ifndef _WIN32
    struct stat before {};
    ::stat(g.folder.file("data/n.dat").c_str(), &before);
#endif
    ASSERT_TRUE(g.start());
    ASSERT_TRUE(g.click(2));
    g.st().score = score;
    g.st().zekaX = 600;  // far from the wobo: no catch in the last tick
    g.st().zekaY = 300;
    g.st().timeTens = 0;
    g.st().tickCount = 19;
    ASSERT_TRUE(g.ticks(1));
    ASSERT_TRUE(g.over());
    EXPECT_EQ(g.folder.read("data/n.dat"), score == 5 ? "5\r\n" : "6\r\n");
    if (score == 5) {
      EXPECT_EQ(std::filesystem::last_write_time(g.folder.file("data/n.dat")), writtenBefore);
#ifndef _WIN32
      struct stat after {};
      ::stat(g.folder.file("data/n.dat").c_str(), &after);
      EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
      EXPECT_EQ(before.st_ino, after.st_ino);
#endif
    }
    EXPECT_EQ(shown(g, "hiS"), 5);  // the game over still shows the old high score
    EXPECT_EQ(g.st().hiScore, 5);
    // Arrow keys do nothing now; space returns to the title where the game window stood.
    g.hold(VK_LEFT);
    ASSERT_TRUE(g.advance(50));
    EXPECT_EQ(g.st().woboX, 300);
    g.release(VK_LEFT);
    g.game().setPositionPx(333, 44);
    g.provider.moveWindow(g.game());
    g.tap(VK_SPACE);
    ASSERT_TRUE(g.advance(1));
    ASSERT_TRUE(g.title().loaded());
    EXPECT_EQ(g.provider.window("title")->x, 333);
    EXPECT_EQ(g.provider.window("title")->y, 44);
    EXPECT_EQ(g.title().ctl<platform::TextBox>("dataText", 0).Text(), "Text1");
    EXPECT_EQ(g.title().focused(), &g.title().control("Command1"));
    // The next game shows the stored value.
    ASSERT_TRUE(g.click(2));
    EXPECT_EQ(shown(g, "hiS"), score);
    EXPECT_EQ(g.provider.window("game")->x, 333);
  }
}

TEST(Unload, EitherFormSendsTheClosingCommandsAndTheLastOneEndsTheProgram) {
  {
    Game g;
    ASSERT_TRUE(g.start());
    ASSERT_TRUE(g.click(2));
    size_t before = g.media.size();
    g.rt->dispatch([&] { g.game().Unload(); });
    EXPECT_EQ(g.mediaLog(before), (std::vector<std::string>{"mci:Stop Midi", "mci:Close Midi"}));
    EXPECT_EQ(g.provider.sequencer(), nullptr);
    EXPECT_TRUE(g.rt->ended());
    EXPECT_EQ(g.rt->exitStatus(), 0);
  }
  {
    Game g;
    ASSERT_TRUE(g.start());
    EXPECT_FALSE(g.click(5));  // the program ends
    EXPECT_EQ(g.mediaLog(), (std::vector<std::string>{"mci:Stop Midi", "mci:Close Midi"}));
    EXPECT_EQ(g.rt->exitStatus(), 0);
  }
}

// A game a few ticks in, whose tune has just played to its end.
void tuneEndedAfterThreeTicks(Game& g) {
  ASSERT_TRUE(g.start());
  ASSERT_TRUE(g.click(1));
  ASSERT_TRUE(g.ticks(3));
  g.provider.finishMusic();
}

TEST(Music, AFinishedTuneRestartsWithinOneTickAndAMissingOneIsSilent) {
  Game g;
  tuneEndedAfterThreeTicks(g);
  size_t before = g.media.size();
  ASSERT_TRUE(g.ticks(1));
  EXPECT_EQ(g.mediaLog(before),
            (std::vector<std::string>{"mci:status Midi mode", "mci:Seek Midi to Start",
                                      "mci:Play Midi"}));
  EXPECT_EQ(g.provider.sequencer()->mode, "playing");
  EXPECT_EQ(g.provider.sequencer()->plays, 2);

  Game silent;
  std::filesystem::remove(silent.folder.file("sound/bgm_d.mid"));
  std::filesystem::remove(silent.folder.file("sound/get.wav"));
  ASSERT_TRUE(silent.start());
  ASSERT_TRUE(silent.click(4));
  EXPECT_EQ(silent.provider.sequencer(), nullptr);
  ASSERT_TRUE(silent.ticks(1220));
  EXPECT_TRUE(silent.over());
  EXPECT_FALSE(silent.media.empty());
  for (const auto& e : silent.media)
    if (e.text == "Seek Midi to Start" || e.text == "Play Midi") {
      EXPECT_NE(e.result, 0u);
    }
}

// The tune ran out in the tick just before the pause: the pausing tick's loop check must not
// start it again under the pause. The resume lets it run out, and the next tick restarts it.
TEST(Music, ATuneThatEndsJustBeforeAPauseStaysSilentThroughIt) {
  Game g;
  tuneEndedAfterThreeTicks(g);
  g.tap(VK_SPACE);
  size_t before = g.media.size();
  ASSERT_TRUE(g.ticks(1));
  EXPECT_TRUE(g.paused());
  EXPECT_EQ(commandsOnly(g.mediaLog(before)),
            (std::vector<std::string>{"mci:Pause Midi", "wave:\\sound\\wait.wav"}));
  EXPECT_EQ(g.provider.sequencer()->mode, "paused");
  ASSERT_TRUE(g.advance(300));
  EXPECT_EQ(g.provider.sequencer()->plays, 1);  // nothing played during the pause
  g.tap(VK_SPACE);
  ASSERT_TRUE(g.advance(10));  // the resume
  EXPECT_FALSE(g.paused());
  before = g.media.size();
  ASSERT_TRUE(g.ticks(1));
  EXPECT_EQ(commandsOnly(g.mediaLog(before)),
            (std::vector<std::string>{"mci:Seek Midi to Start", "mci:Play Midi"}));
  EXPECT_EQ(g.provider.sequencer()->mode, "playing");
}

}  // namespace
