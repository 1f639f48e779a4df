// The desktop provider with a gamepad: SDL's virtual joystick, seen by the real provider as a pad
// plugged in, playing the real game in this process while the test looks at its windows.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <thread>

#include "platform/runtime.h"
#include "platform/sdl/sdl_provider.h"
#include "rules/project.h"
#include "tests/x11/screen.h"

using namespace xdriver;  // and its std::chrono_literals

namespace {

// A standard pad that only this process sees.
class VirtualPad {
 public:
  VirtualPad() {
    SDL_VirtualJoystickDesc d{};
    d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    d.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    d.naxes = SDL_CONTROLLER_AXIS_MAX;
    d.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    d.name = "morofin test pad";
    const int index = SDL_JoystickAttachVirtualEx(&d);
    if (index < 0) return;
    j_ = SDL_JoystickOpen(index);
    if (j_) id_ = SDL_JoystickInstanceID(j_);
  }
  ~VirtualPad() { unplug(); }
  bool ok() const { return j_ != nullptr; }
  void button(SDL_GameControllerButton b, bool down) {
    SDL_JoystickSetVirtualButton(j_, b, down ? 1 : 0);
  }
  void press(SDL_GameControllerButton b) {
    button(b, true);
    std::this_thread::sleep_for(60ms);
    button(b, false);
    std::this_thread::sleep_for(60ms);
  }
  void stick(int16_t x, int16_t y) {
    SDL_JoystickSetVirtualAxis(j_, SDL_CONTROLLER_AXIS_LEFTX, x);
    SDL_JoystickSetVirtualAxis(j_, SDL_CONTROLLER_AXIS_LEFTY, y);
  }
  void unplug() {
    if (!j_) return;
    SDL_JoystickClose(j_);
    j_ = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
      if (SDL_JoystickGetDeviceInstanceID(i) == id_) SDL_JoystickDetachVirtual(i);
  }

 private:
  SDL_Joystick* j_ = nullptr;
  SDL_JoystickID id_ = -1;
};

// The real game on the desktop provider in this process: the message loop runs on the test's
// main thread while `script` plays it from another, like a person at the screen. The script ends
// the program by closing whatever window is left.
class PadGame : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!desk.ok()) GTEST_SKIP() << "no X display (the test command starts Xvfb)";
    setenv("SDL_AUDIODRIVER", "dummy", 0);
  }
  void play(const std::function<void()>& script) {
    platform::sdl::SdlProvider provider;
    ASSERT_TRUE(provider.ok()) << provider.problem();
    platform::Runtime rt(provider, rules::morofinProject());
    rt.setAppPath(folder.folder());
    std::thread player([&] {
      script();
      for (const char* t : {kGame, kTitle})
        if (Window w = desk.find(t, 0ms)) desk.closeBox(w);
    });
    const int status = rt.run();
    player.join();
    EXPECT_EQ(status, 0);
  }
  Desk desk;
  Program folder;  // only its folder: the program folder with sound and data
};

TEST_F(PadGame, APadPlaysTheTitleAndTheGame) {
  play([&] {
    VirtualPad pad;
    ASSERT_TRUE(pad.ok()) << SDL_GetError();
    Window t = desk.find(kTitle);
    ASSERT_NE(t, 0u);
    ASSERT_TRUE(titleDrawn(desk, t));
    pad.press(SDL_CONTROLLER_BUTTON_DPAD_DOWN);  // from the first mode button to the second
    pad.press(SDL_CONTROLLER_BUTTON_A);
    Window g = desk.find(kGame);
    ASSERT_NE(g, 0u) << "A did not click the focused button";
    ASSERT_TRUE(gameStarted(desk, g));
    const int clock = number(shoot(desk, g), 688, 24);
    EXPECT_TRUE(clock > 71 && clock <= 81) << "not the second mode: the clock shows " << clock;
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(pauseShown(shoot(desk, g), true)) << "the press that started the game paused it";
    pad.press(SDL_CONTROLLER_BUTTON_A);
    EXPECT_TRUE(Desk::until([&] { return pauseShown(shoot(desk, g)); }, 2s)) << "A did not pause";
    pad.press(SDL_CONTROLLER_BUTTON_START);
    EXPECT_TRUE(Desk::until([&] { return !pauseShown(shoot(desk, g), true); }, 2s))
        << "Start did not resume";
    auto before = findWobo(shoot(desk, g));
    pad.button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
    EXPECT_TRUE(Desk::until([&] { return findWobo(shoot(desk, g)).first < before.first - 60; }, 2s))
        << "the D-pad does not steer";
    pad.button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, false);
    before = findWobo(shoot(desk, g));
    pad.stick(23170, 23170);  // down and to the right
    EXPECT_TRUE(Desk::until(
        [&] {
          auto now = findWobo(shoot(desk, g));
          return now.first > before.first + 40 && now.second > before.second + 40;
        },
        2s))
        << "the stick's diagonal does not steer both ways";
    pad.stick(0, 0);
  });
}

TEST_F(PadGame, APadPluggedInMidGameAndPulledOutWhileHeld) {
  play([&] {
    Window t = desk.find(kTitle);
    ASSERT_TRUE(t && titleDrawn(desk, t));
    desk.click(t, 300, 156);
    Window g = desk.find(kGame);
    ASSERT_TRUE(g && gameStarted(desk, g));
    VirtualPad pad;
    ASSERT_TRUE(pad.ok()) << SDL_GetError();
    const auto before = findWobo(shoot(desk, g));
    pad.button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true);
    ASSERT_TRUE(Desk::until([&] { return findWobo(shoot(desk, g)).first > before.first + 40; }, 2s))
        << "a pad plugged in mid-game does not steer";
    pad.unplug();  // with the D-pad still held
    // Once the frames have caught up, the wobo stands still.
    std::pair<int, int> last = findWobo(shoot(desk, g));
    EXPECT_TRUE(Desk::until(
        [&] {
          std::this_thread::sleep_for(150ms);
          const auto now = findWobo(shoot(desk, g));
          return std::exchange(last, now) == now;
        },
        2s))
        << "the pad pulled out still holds its arrow";
  });
}

}  // namespace
