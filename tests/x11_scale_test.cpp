// The real program on a desktop that asks for double scale: both windows twice as large, every
// picture pixel a 2 x 2 block, and the mouse still finding the buttons.
#include <X11/Xatom.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/x11/screen.h"

using namespace xdriver;  // and its std::chrono_literals

namespace {

// The X resources of the test's server say 192 dots per inch while it lives, as `xrdb` would.
class DoubleScaleDesktop {
 public:
  explicit DoubleScaleDesktop(Display* d) : d_(d) {
    const char* res = XResourceManagerString(d_);
    if (res) old_ = res;
    set("Xft.dpi:\t192\n");
  }
  ~DoubleScaleDesktop() {
    if (old_)
      set(*old_);
    else
      XDeleteProperty(d_, DefaultRootWindow(d_), XA_RESOURCE_MANAGER);
    XSync(d_, False);
  }

 private:
  void set(const std::string& text) {
    XChangeProperty(d_, DefaultRootWindow(d_), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(text.c_str()),
                    static_cast<int>(text.size()));
    XSync(d_, False);
  }
  Display* d_;
  std::optional<std::string> old_;
};

TEST_F(RealWindow, AtDoubleScaleEverythingIsTwiceAsLargeAndStillWorks) {
  DoubleScaleDesktop scale(desk.display());
  Window t = startTitle();
  ASSERT_NE(t, 0u);
  ASSERT_NO_FATAL_FAILURE(expectTitleAsDesigned(desk, t, 2));
  // A click on the doubled place of the first mode button starts its game in the title's place.
  Window g = gameInPlaceOf(t, 2 * 300, 2 * 156);
  ASSERT_NE(g, 0u);
  int gx, gy, w, h;
  desk.geometry(g, gx, gy, w, h);
  EXPECT_EQ(w, 1512);
  EXPECT_EQ(h, 646);
  // Its first frame: the clock's first digit lights its top-left block, as every digit does.
  ASSERT_TRUE(Desk::until([&] { return near(desk.pixel(g, 2 * 693, 2 * 29), {255, 0, 0}); }, 5s));
  Shot gs = shoot(desk, g);
  // Every picture pixel is a 2 x 2 block: the field's one-pixel border, and the blocks of the
  // high score's 0 (a red 10 x 10 block, then the white middle).
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_TRUE(near(gs.at(x, y), {0, 0, 0})) << x << "," << y;
  EXPECT_TRUE(near(gs.at(2, 2), {155, 255, 205}));
  EXPECT_EQ(countNear(gs, 2 * 688, 2 * 192, 20, 20, {255, 0, 0}), 400);
  EXPECT_EQ(countNear(gs, 2 * 698, 2 * 202, 20, 20, {255, 255, 255}), 400);
  desk.closeBox(g);
  EXPECT_EQ(prog.wait(5s), 0) << prog.stderrText();
}

}  // namespace
