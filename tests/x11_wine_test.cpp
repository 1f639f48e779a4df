// The Windows build of the game, morofin.exe, under Wine beside a window manager: the title as
// designed, a game started in its place, the keys, a whole game and the way back to the title.
// Runs when the Windows build exists (tools/make-windows.sh); skipped otherwise.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/x11/screen.h"

using namespace xdriver;  // and its std::chrono_literals
namespace fs = std::filesystem;

namespace {

constexpr const char* kWine = "/usr/lib/wine/wine64";
constexpr const char* kWineServer = "/usr/lib/wine/wineserver";

std::string slurp(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Pixels of two looks at the title that differ, leaving out where text is drawn: the title's
// label and the captions inside the buttons (text may come in another face on each system).
int nonTextDifferences(const Shot& a, const Shot& b) {
  if (a.w != b.w || a.h != b.h) return a.w * a.h;
  struct Box {
    int x0, y0, x1, y1;
  };
  std::vector<Box> text = {{100, 30, 700, 135}};
  for (int top : {144, 176, 208, 240})
    text.push_back({270 + 3, top + 3, 270 + 217 - 3, top + 25 - 3});
  text.push_back({272 + 3, 280 + 3, 272 + 217 - 3, 280 + 25 - 3});
  int n = 0;
  for (int y = 0; y < a.h; ++y)
    for (int x = 0; x < a.w; ++x) {
      bool inText = false;
      for (const Box& t : text) inText = inText || (x >= t.x0 && x < t.x1 && y >= t.y0 && y < t.y1);
      if (!inText && !near(a.at(x, y), b.at(x, y))) ++n;
    }
  return n;
}

// morofin.exe with its folders in a temporary folder, run in a Wine prefix of its own, which ends
// with it ("wineserver -k" for that prefix ends whatever Wine started there).
class WineProgram {
 public:
  WineProgram() {
    const fs::path build(MOROFIN_WINDOWS_BUILD_DIR);
    if (!fs::exists(build / "morofin.exe") || !fs::exists(kWine)) return;
    std::string tmpl = (fs::temp_directory_path() / "morofin-wine-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) return;
    folder_ = tmpl;
    fs::copy_file(build / "morofin.exe", folder_ / "morofin.exe");
    for (const auto& e : fs::directory_iterator(build))
      if (e.path().filename().string().ends_with("-setup.exe"))
        fs::copy_file(e.path(), folder_ / "setup.exe");
    fs::copy(build / "sound", folder_ / "sound", fs::copy_options::recursive);
    fs::create_directories(folder_ / "data");
    for (const char* m : {"e", "n", "h", "d"})
      std::ofstream(folder_ / "data" / (std::string(m) + ".dat")) << "0\r\n";
  }
  ~WineProgram() {
    if (folder_.empty()) return;
    const std::string kill = "WINEPREFIX='" + prefix().string() + "' " + kWineServer + " -k";
    if (std::system(kill.c_str()) != 0) {
      // nothing was running there
    }
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    fs::remove_all(folder_, ec);
    fs::remove_all(prefix(), ec);
  }
  bool available() const { return !folder_.empty(); }
  fs::path folder() const { return folder_; }
  // Beside the program's folder, not in it: a test may take the program's folder away.
  fs::path prefix() const { return folder_.string() + "-prefix"; }
  // Run-time errors shown in a message box, as a player sees them (off by default here).
  bool errorBox = false;
  void start() { run({"morofin.exe"}); }
  // Runs a Windows program (and its arguments) in the prefix, from the program's folder.
  void run(const std::vector<std::string>& args) {
    pid_ = ::fork();
    if (pid_ != 0) return;
    const std::string err = (folder_ / "stderr.txt").string();
    if (FILE* f = std::freopen(err.c_str(), "w", stderr)) (void)f;
    ::setenv("WINEPREFIX", prefix().c_str(), 1);
    ::setenv("WINEDEBUG", "-all", 1);
    ::setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);  // no Mono or Gecko installers
    if (!errorBox) ::setenv("MOROFIN_NO_ERROR_BOX", "1", 1);
    if (::chdir(folder_.c_str()) != 0) ::_exit(127);
    std::vector<char*> argv{const_cast<char*>(kWine)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(kWine, argv.data());
    ::_exit(127);
  }
  // Waits for everything of the prefix to end, its registry written out to its files.
  void settle() {
    const std::string w = "WINEPREFIX='" + prefix().string() + "' " + kWineServer + " -w";
    if (std::system(w.c_str()) != 0) {
      // no server was running
    }
  }
  std::string stderrText() const {
    std::ifstream in(folder_ / "stderr.txt");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  int wait(std::chrono::milliseconds timeout) {
    int status = 0;
    if (!Desk::until([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, timeout)) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  }

 private:
  fs::path folder_;
  int pid_ = -1;
};

TEST(Wine, TheWindowsProgramPlaysAWholeGame) {
  Desk desk;
  if (!desk.ok()) GTEST_SKIP() << "no X display (the test command starts Xvfb)";
  WineProgram prog;
  if (!prog.available()) GTEST_SKIP() << "no Windows build (tools/make-windows.sh) or no Wine";
  WindowManager wm;
  ASSERT_TRUE(wm.ok()) << wm.why();
  // The Linux build's title first, to hold the Windows one against.
  Shot linux;
  {
    Program native;
    ASSERT_TRUE(native.start());
    Window t = desk.find(kTitle);
    ASSERT_TRUE(t && titleDrawn(desk, t)) << native.stderrText();
    linux = shoot(desk, t);
    desk.click(t, 300, 292);  // quit
    ASSERT_EQ(native.wait(5s), 0);
    ASSERT_TRUE(desk.gone(kTitle));
  }
  prog.start();
  // The first start in a new prefix sets the prefix up first.
  Window t = desk.find(kTitle, 90s);
  ASSERT_NE(t, 0u) << prog.stderrText();
  ASSERT_TRUE(titleDrawn(desk, t));
  expectTitleAsDesigned(desk, t, 1);
  EXPECT_EQ(nonTextDifferences(linux, shoot(desk, t)), 0)
      << "the title's pixels other than its text differ from the Linux build's";
  int tx, ty, w, h;
  desk.geometry(t, tx, ty, w, h);
  // The keyboard's way to the quickest mode: Tab three times, then Space on the focused button.
  for (int i = 0; i < 3; ++i) desk.tap("Tab");
  desk.tap("space");
  Window g = desk.find(kGame, 10s);
  ASSERT_NE(g, 0u) << prog.stderrText();
  ASSERT_TRUE(gameStarted(desk, g));
  int gx, gy;
  desk.geometry(g, gx, gy, w, h);
  EXPECT_EQ(std::pair(gx, gy), std::pair(tx, ty)) << "the game is not where the title stood";
  EXPECT_EQ(std::pair(w, h), std::pair(756, 323));
  desk.tap("space");
  EXPECT_TRUE(Desk::until([&] { return pauseShown(shoot(desk, g)); }, 2s)) << "Space did not pause";
  desk.tap("space");
  EXPECT_TRUE(Desk::until([&] { return !pauseShown(shoot(desk, g), true); }, 2s));
  const auto before = findWobo(shoot(desk, g));
  desk.key("Left", true);
  std::this_thread::sleep_for(300ms);
  desk.key("Left", false);
  EXPECT_TRUE(Desk::until([&] { return findWobo(shoot(desk, g)).first < before.first - 60; }, 2s));
  // Played to the end, chasing the zeka: the record is kept beside the program, in data\.
  const int score = chaseToTheEnd(desk, g, 20s);
  ASSERT_GE(score, 0) << "the game did not end";
  EXPECT_GE(score, 1) << "the chasing player caught nothing";
  EXPECT_EQ(slurp(prog.folder() / "data" / "d.dat"), std::to_string(score) + "\r\n");
  desk.tap("space");
  Window back = desk.find(kTitle, 5s);
  ASSERT_NE(back, 0u);
  desk.geometry(back, tx, ty, w, h);
  EXPECT_EQ(std::pair(tx, ty), std::pair(gx, gy)) << "the title is not where the game stood";
  desk.click(back, 300, 292);  // quit
  EXPECT_EQ(prog.wait(10s), 0) << prog.stderrText();
}

}  // namespace

namespace {

// Every file under a folder, with its size and time, to see that nothing there changed.
std::vector<std::string> listing(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    out.push_back(e.path().string() + " " +
                  (e.is_regular_file() ? std::to_string(e.file_size()) : std::string("dir")) + " " +
                  std::to_string(e.last_write_time().time_since_epoch().count()));
  std::sort(out.begin(), out.end());
  return out;
}

// The installer's silent install, a game from the installed copy that reads the player's own
// scores and writes nothing where it is installed, and the silent uninstall that keeps them.
TEST(Wine, TheInstallerInstallsAndUninstallsSilentlyKeepingScores) {
  Desk desk;
  if (!desk.ok()) GTEST_SKIP() << "no X display (the test command starts Xvfb)";
  WineProgram prog;
  if (!prog.available() || !fs::exists(prog.folder() / "setup.exe"))
    GTEST_SKIP() << "no Windows build with its installer (tools/make-windows.sh) or no Wine";
  prog.run({"setup.exe", "/S"});
  ASSERT_EQ(prog.wait(120s), 0) << prog.stderrText();
  prog.settle();
  const fs::path drive = prog.prefix() / "drive_c";
  const fs::path installed = drive / "Program Files" / "morofin";
  for (const char* f :
       {"morofin.exe", "installed", "uninstall.exe", "sound/bgm_d.mid", "data/d.dat"})
    EXPECT_TRUE(fs::exists(installed / f)) << f;
  EXPECT_TRUE(fs::exists(drive / "ProgramData/Microsoft/Windows/Start Menu/Programs/morofin.lnk"));
  const std::string registry = slurp(prog.prefix() / "system.reg");
  EXPECT_NE(registry.find("CurrentVersion\\\\Uninstall\\\\morofin]"), std::string::npos);
  EXPECT_NE(registry.find("\"DisplayVersion\"=\"" MOROFIN_VERSION "\""), std::string::npos);

  // The player's own high score, where an installed copy keeps it.
  fs::path player;
  for (const auto& u : fs::directory_iterator(drive / "users"))
    if (u.path().filename() != "Public") player = u.path() / "AppData/Local/morofin";
  ASSERT_FALSE(player.empty());
  fs::create_directories(player);
  std::ofstream(player / "d.dat") << "7\r\n";
  const auto before = listing(installed);
  prog.run({"C:\\Program Files\\morofin\\morofin.exe"});
  Window t = desk.find(kTitle, 60s);
  ASSERT_NE(t, 0u) << prog.stderrText();
  ASSERT_TRUE(titleDrawn(desk, t));
  desk.click(t, 300, 252);
  Window g = desk.find(kGame, 10s);
  ASSERT_NE(g, 0u);
  ASSERT_TRUE(gameStarted(desk, g));
  EXPECT_EQ(number(shoot(desk, g), 688, 192), 7) << "the player's high score is not shown";
  desk.closeBox(g);
  EXPECT_EQ(prog.wait(10s), 0) << prog.stderrText();
  EXPECT_EQ(listing(installed), before) << "the installed copy wrote where it is installed";

  // The uninstaller runs again from a copy of itself and returns at once: wait for its work.
  prog.run({"C:\\Program Files\\morofin\\uninstall.exe", "/S"});
  EXPECT_EQ(prog.wait(60s), 0);
  EXPECT_TRUE(Desk::until([&] { return !fs::exists(installed); }, 30s)) << "not uninstalled";
  EXPECT_FALSE(fs::exists(drive / "ProgramData/Microsoft/Windows/Start Menu/Programs/morofin.lnk"));
  EXPECT_EQ(slurp(player / "d.dat"), "7\r\n") << "uninstalling lost the player's score";
}

}  // namespace

namespace {

// A run-time error (the program's folder gone when a game starts) in a message box and on standard
// error; the program ends with a failure status once the box is answered.
TEST(Wine, ARunTimeErrorIsShownInAMessageBoxAndEndsTheProgram) {
  Desk desk;
  if (!desk.ok()) GTEST_SKIP() << "no X display (the test command starts Xvfb)";
  WineProgram prog;
  if (!prog.available()) GTEST_SKIP() << "no Windows build (tools/make-windows.sh) or no Wine";
  prog.errorBox = true;
  prog.start();
  Window t = desk.find(kTitle, 90s);
  ASSERT_NE(t, 0u) << prog.stderrText();
  ASSERT_TRUE(titleDrawn(desk, t));
  const fs::path gone = prog.folder().string() + "-gone";
  fs::rename(prog.folder(), gone);
  desk.click(t, 300, 156);
  Window box = desk.find("morofin", 10s);
  ASSERT_NE(box, 0u) << "no message box";
  const std::string err = slurp(gone / "stderr.txt");
  EXPECT_NE(err.find("run-time error 75"), std::string::npos) << err;
  desk.closeBox(box);  // answered
  const int status = prog.wait(10s);
  fs::rename(gone, prog.folder());
  EXPECT_EQ(status, 1);
}

}  // namespace
