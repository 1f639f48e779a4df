// The real program when something is wrong: assets missing or broken, a run-time error, no X
// display.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/x11/screen.h"

using namespace xdriver;  // and its std::chrono_literals

namespace {

// Each asset missing or broken in turn: the game goes on without it and says so in one line.
TEST_F(RealWindow, MissingOrBrokenAssetsOneByOne) {
  struct Case {
    const char* name;
    const char* file;     // under the program folder, removed or overwritten
    const char* content;  // nullptr: removed
    const char* env;
    const char* mention;
  } cases[] = {
      {"music missing", "sound/bgm_e.mid", nullptr, "", "bgm_e.mid"},
      {"music broken", "sound/bgm_e.mid", "MThd but not really", "", "bgm_e.mid"},
      {"wave missing", "sound/wait.wav", nullptr, "", "wait.wav"},
      {"wave broken", "sound/wait.wav", "RIFF....WAVEjunk", "", "wait.wav"},
      {"soundfont missing", nullptr, nullptr, "MOROFIN_SOUNDFONT=/nonexistent/gm.sf2", "soundfont"},
      {"no fonts", "fonts.conf",
       "<?xml version=\"1.0\"?><fontconfig><cachedir>/tmp</cachedir></fontconfig>",
       "FONTCONFIG_FILE=", "font"},
  };
  for (const Case& c : cases) {
    Program p;
    if (c.file) {
      const std::string path = p.folder() + "/" + c.file;
      if (c.content) {
        std::ofstream(path) << c.content;
      } else {
        std::filesystem::remove(path);
      }
    }
    // Without fonts there is no "Pause" to see: the requests for the wait sound say when the
    // game has paused and resumed.
    const std::string log = p.folder() + "/media.log";
    std::vector<std::string> env = {"MOROFIN_MEDIA_LOG=" + log};
    if (*c.env) env.push_back(c.env);
    if (env.back() == "FONTCONFIG_FILE=") env.back() += p.folder() + "/fonts.conf";
    auto waitSounds = [&] {
      const auto all = readMediaLog(log);
      return std::count_if(all.begin(), all.end(), [](const MediaRequest& r) {
        return r.kind == "wave" && r.text.find("wait.wav") != std::string::npos;
      });
    };
    ASSERT_TRUE(p.start(env));
    Window t = desk.find(kTitle);
    ASSERT_NE(t, 0u) << c.name << ": " << p.stderrText();
    ASSERT_TRUE(titleDrawn(desk, t)) << c.name;
    desk.click(t, 300, 156);
    Window g = desk.find(kGame);
    ASSERT_NE(g, 0u) << c.name;
    ASSERT_TRUE(gameStarted(desk, g)) << c.name;
    desk.flick("space");  // pause and resume: the wait sound twice
    ASSERT_TRUE(Desk::until([&] { return waitSounds() == 1; }, 2s)) << c.name;
    desk.flick("space");
    ASSERT_TRUE(Desk::until([&] { return waitSounds() == 2; }, 2s)) << c.name;
    desk.closeBox(g);
    EXPECT_EQ(p.wait(5s), 0) << c.name << ": " << p.stderrText();
    std::istringstream err(p.stderrText());
    int ours = 0;
    bool named = false;
    for (std::string line; std::getline(err, line);) {
      if (line.rfind("morofin:", 0) != 0) continue;
      ++ours;
      named = named || line.find(c.mention) != std::string::npos;
    }
    EXPECT_EQ(ours, 1) << c.name << ": " << p.stderrText();
    EXPECT_TRUE(named) << c.name << ": " << p.stderrText();
  }
}

// A run-time error (here: the program's folder has gone when a game starts) is reported with its
// number and ends the program with a failure status.
TEST_F(RealWindow, ARunTimeErrorIsReportedAndEndsTheProgram) {
  Window t = startTitle();
  ASSERT_NE(t, 0u);
  std::filesystem::rename(prog.folder(), prog.folder() + "-gone");
  desk.click(t, 300, 156);
  const int status = prog.wait(5s);
  std::filesystem::rename(prog.folder() + "-gone", prog.folder());
  EXPECT_EQ(status, 1);
  const std::string err = prog.stderrText();
  EXPECT_NE(err.find("run-time error 75"), std::string::npos) << err;
}

TEST(NoDisplay, SaysSoInOneLineAndFails) {
  Program prog;
  ASSERT_TRUE(prog.start({}, false));
  int status = prog.wait(10s);
  EXPECT_NE(status, 0);
  EXPECT_NE(status, -1);
  std::string err = prog.stderrText();
  EXPECT_NE(err.find("no display"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

}  // namespace
