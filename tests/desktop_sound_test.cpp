// The real program playing into a private PulseAudio daemon, as on a desktop: what reaches the
// sink is recorded from its monitor, and the program's media log says when each sound was asked
// for.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/x11/pulse.h"
#include "tests/x11/xdriver.h"

using namespace std::chrono_literals;
using xdriver::Desk;
using xdriver::kGame;
using xdriver::kTitle;
using xdriver::Monitor;
using xdriver::Program;
using xdriver::PulseServer;

namespace {

constexpr int64_t kMs = Monitor::kRate / 1000;
constexpr double kSilent = 1e-4;

class Pulse : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!desk.ok()) GTEST_SKIP() << "no X display (the test command starts Xvfb)";
    if (!server.ok()) GTEST_SKIP() << server.why();
    monitor = std::make_unique<Monitor>(server);
    ASSERT_TRUE(monitor->ok());
    log = prog.folder() + "/media.log";
  }
  // The title screen, with the soundfont loading meanwhile.
  Window startTitle() {
    auto env = server.env();
    env.push_back("MOROFIN_MEDIA_LOG=" + log);
    EXPECT_TRUE(prog.start(env));
    Window t = desk.find(kTitle);
    EXPECT_NE(t, 0u) << prog.stderrText();
    return t;
  }
  // The title, time for the soundfont to load (which shows nowhere), then a mode button's click:
  // the game window, or 0.
  Window gameAfter(std::chrono::milliseconds soundfont, int buttonY) {
    Window t = startTitle();
    if (!t) return 0;
    std::this_thread::sleep_for(soundfont);
    desk.click(t, 300, buttonY);
    return desk.find(kGame);
  }
  // When the program last (or first) asked for this wave or command.
  xdriver::Clock::time_point asked(const std::string& what, bool last = true) {
    xdriver::Clock::time_point at{};
    for (const auto& r : xdriver::readMediaLog(log)) {
      if (r.text.find(what) == std::string::npos) continue;
      at = r.at;
      if (!last) break;
    }
    return at;
  }
  int64_t now() { return monitor->frameAt(xdriver::Clock::now()); }

  Desk desk;
  PulseServer server;
  std::unique_ptr<Monitor> monitor;
  Program prog;
  std::string log;
  void TearDown() override {
    if (HasFailure() && std::getenv("MOROFIN_MONITOR_DUMP"))
      std::filesystem::copy_file(log, std::string(std::getenv("MOROFIN_MONITOR_DUMP")) + ".log",
                                 std::filesystem::copy_options::overwrite_existing);
  }
};

TEST_F(Pulse, NoStreamOnTheTitleMusicWhilePlayingSilenceWhilePaused) {
  Window t = startTitle();
  ASSERT_NE(t, 0u);
  // The title sounds nothing, so it must hold no stream at any time: looked at twice while the
  // soundfont loads and after.
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(server.streams(prog.pid()), 0) << "the title screen keeps a stream open";
  std::this_thread::sleep_for(900ms);
  EXPECT_EQ(server.streams(prog.pid()), 0) << "the title screen keeps a stream open";
  desk.click(t, 300, 252);
  Window g = desk.find(kGame);
  ASSERT_NE(g, 0u);
  Desk::until([&] { return server.streams(prog.pid()) == 1; }, 3s);
  EXPECT_EQ(server.streams(prog.pid()), 1);
  Desk::until([&] { return monitor->rms(now() - 1000 * kMs, 1000 * kMs) > 0.002; }, 3s);
  EXPECT_GT(monitor->rms(now() - 1000 * kMs, 1000 * kMs), 0.002) << "no music";
  desk.flick("space");
  // The music falls silent at once, though the stream keeps a long queue: "wait.wav" is heard
  // alone, as the sink played it. Music left under it would make it match less well.
  ASSERT_TRUE(Desk::until([&] { return asked("wait.wav").time_since_epoch().count() != 0; }, 3s));
  const int64_t paused = monitor->frameAt(asked("wait.wav"));
  const auto wait = xdriver::readMonoWave(prog.folder() + "/sound/wait.wav");
  Desk::until([&] { return monitor->frames() >= paused + 1200 * kMs; }, 3s);
  const auto heard = monitor->find(wait, paused - 200 * kMs, 600 * kMs);
  EXPECT_GT(heard.score, 0.97) << "music still under the pause's wait.wav";
  std::printf("wait.wav heard %.1f ms after the pause (correlation %.3f)\n",
              double(heard.at - paused) / kMs, heard.score);
  // Once "wait.wav" has ended, the stream goes.
  ASSERT_TRUE(Desk::until([&] { return server.streams(prog.pid()) == 0; }, 3s))
      << "paused, still a stream";
  std::this_thread::sleep_for(300ms);  // of silence
  EXPECT_LT(monitor->rms(now() - 300 * kMs, 300 * kMs), kSilent);
  desk.flick("space");
  Desk::until([&] { return server.streams(prog.pid()) == 1; }, 3s);
  EXPECT_EQ(server.streams(prog.pid()), 1);
  Desk::until([&] { return monitor->rms(now() - 500 * kMs, 500 * kMs) > 0.002; }, 3s);
  EXPECT_GT(monitor->rms(now() - 500 * kMs, 500 * kMs), 0.002) << "the music did not come back";
  desk.closeBox(g);
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

TEST_F(Pulse, ACatchIsHeardOverTheMusic) {
  Window g = gameAfter(500ms, 156);
  ASSERT_NE(g, 0u);
  // Chase the zeka until the first catch after the music has begun.
  xdriver::Clock::time_point caught{};
  {
    xdriver::Chaser player(desk, g);
    const auto start = xdriver::Clock::now();
    while (caught.time_since_epoch().count() == 0 && xdriver::Clock::now() - start < 20s) {
      player.step();
      if (xdriver::Clock::now() - start > 1s) caught = asked("get.wav");
      std::this_thread::sleep_for(8ms);  // a glance at the field, not a wait for anything
    }
  }
  ASSERT_NE(caught.time_since_epoch().count(), 0) << "no catch in 20 s";
  const int64_t at = monitor->frameAt(caught);
  // Until the monitor has recorded the whole search window after the catch.
  Desk::until([&] { return monitor->frames() >= at + 600 * kMs; }, 3s);
  EXPECT_GT(monitor->rms(at - 100 * kMs, 100 * kMs), 0.002) << "no music before the catch";
  // The effect is found in what the sink played by its own samples, however loud the music
  // under it; the search is wide, since the monitor's clock can slip on a loaded machine.
  const auto effect = xdriver::readMonoWave(prog.folder() + "/sound/get.wav");
  ASSERT_FALSE(effect.empty());
  const auto heard = monitor->find(effect, at - 200 * kMs, 600 * kMs);
  EXPECT_GT(heard.score, 0.6) << "the catch is not heard over the music";
  // A sound that was not played does not match there: the search tells sounds apart.
  const auto other = xdriver::readMonoWave(prog.folder() + "/sound/wait.wav");
  const double otherScore = monitor->find(other, at - 200 * kMs, 600 * kMs).score;
  EXPECT_LT(otherScore, 0.5);
  std::printf("get.wav heard %.1f ms after the catch's request (correlation %.2f; wait.wav %.2f)\n",
              double(heard.at - at) / kMs, heard.score, otherScore);
  desk.closeBox(g);
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

TEST_F(Pulse, TheMusicRestartsWithinATickOfItsEnd) {
  // Two quarters at 120 bpm: a second a round.
  xdriver::writeLoopTune(prog.folder() + "/sound/bgm_d.mid", 2);
  Window g = gameAfter(1000ms, 252);  // the quickest mode
  ASSERT_NE(g, 0u);
  // Until the monitor has recorded the first note and three rounds after it.
  Desk::until(
      [&] {
        const auto play = asked("Play Midi", false);
        return play.time_since_epoch().count() != 0 &&
               monitor->frames() >= monitor->frameAt(play) + 3600 * kMs;
      },
      10s);
  // The monitor's clock may run a few milliseconds ahead of the program's: the sink hands over a
  // block as it takes it.
  const int64_t first =
      monitor->firstSound(monitor->frameAt(asked("Play Midi", false)) - 50 * kMs, 500 * kMs);
  ASSERT_GE(first, 0) << "no music";
  // Each round's first note comes one round after the one before, give or take one tick.
  const int64_t round = 1000 * kMs;
  int64_t before = first;
  for (int k = 1; k <= 3; ++k) {
    const int64_t struck = monitor->firstSound(before + round - 100 * kMs, 200 * kMs);
    ASSERT_GE(struck, 0) << "round " << k << " not heard";
    const int64_t gap = struck - before - round;
    EXPECT_GE(gap, -2 * kMs) << "round " << k;
    EXPECT_LE(gap, 10 * kMs) << "round " << k << " starts late";
    std::printf("seam %d: %.1f ms\n", k, double(gap) / kMs);
    before = struck;
  }
  desk.closeBox(g);
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

// What the server tells a desktop about the program's playing stream, one "key = value" a line.
std::string streamProperties(const PulseServer& server, pid_t of) {
  FILE* p = ::popen(("pactl -s " + server.address() + " list sink-inputs 2>/dev/null").c_str(), "r");
  if (!p) return "";
  std::string text;
  for (int c; (c = std::fgetc(p)) != EOF;) text += static_cast<char>(c);
  ::pclose(p);
  const std::string owner = "application.process.id = \"" + std::to_string(of) + "\"";
  for (size_t at = 0; (at = text.find("Sink Input #", at)) != std::string::npos; ++at) {
    const std::string one = text.substr(at, text.find("Sink Input #", at + 1) - at);
    if (one.find(owner) != std::string::npos) return one;
  }
  return "";
}

// The sound server goes away and comes back, or comes only after the game has begun: the game
// goes on silently, says so once, and its music is heard again from the new server, on a stream
// that tells the desktop whose it is.
TEST_F(Pulse, TheMusicComesBackWithTheServerOnANamedStream) {
  struct Case {
    const char* name;
    bool absentAtStart;
  };
  for (const Case c : {Case{"restarted mid-game", false}, Case{"absent at the start", true}}) {
    SCOPED_TRACE(c.name);
    if (c.absentAtStart) {
      monitor.reset();
      server.crash();
    }
    Window g = gameAfter(500ms, 252);
    ASSERT_NE(g, 0u);
    if (!c.absentAtStart) {
      ASSERT_TRUE(
          Desk::until([&] { return monitor->rms(now() - 300 * kMs, 300 * kMs) > 0.002; }, 3s))
          << "no music before the server goes";
      monitor.reset();
      server.crash();
    }
    std::this_thread::sleep_for(1500ms);  // the game goes on without a server
    ASSERT_TRUE(server.launch()) << server.why();
    const auto back = xdriver::Clock::now();
    monitor = std::make_unique<Monitor>(server);
    ASSERT_TRUE(monitor->ok());
    // The monitor's clock is set by what it has recorded.
    Desk::until([&] { return monitor->frames() > 100 * kMs; }, 3s);
    const int64_t from = std::max<int64_t>(0, monitor->frameAt(back));
    ASSERT_TRUE(Desk::until([&] { return monitor->firstSound(from, now() - from) >= 0; }, 6s))
        << "no sound from the server that came back\n" << prog.stderrText();
    std::printf("%s: sound %.0f ms after the server came back\n", c.name,
                double(monitor->firstSound(from, now() - from) - from) / kMs);
    const std::string props = streamProperties(server, prog.pid());
    for (const char* want :
         {"application.name = \"Morofin\"", "application.id = \"io.github.morofin.morofin\"",
          "application.icon_name = \"io.github.morofin.morofin\"", "media.role = \"game\""})
      EXPECT_NE(props.find(want), std::string::npos) << want << " not in\n" << props;
    desk.closeBox(g);
    EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
    // One line about the server, however many times the game tried to reach it.
    const std::string err = prog.stderrText();
    size_t said = 0;
    for (size_t at = 0; (at = err.find("server", at)) != std::string::npos; at = err.find('\n', at))
      ++said;
    EXPECT_EQ(said, 1u) << err;
  }
}

}  // namespace
