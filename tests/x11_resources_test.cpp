// What the desktop provider keeps on the X server over many hand-overs between screens: every
// hand-over makes a new window and closes the old one, and nothing of the old may stay behind.
#include <gtest/gtest.h>
// After GoogleTest, whose own None the X headers' macro would spoil.
#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>

#include <map>
#include <string>
#include <vector>

#include "platform/form.h"
#include "platform/runtime.h"
#include "platform/sdl/sdl_provider.h"
#include "tests/x11/xdriver.h"

using namespace platform;

namespace {

constexpr int kHandOvers = 24;

FormDesign screenDesign(const std::string& name) {
  FormDesign d;
  d.name = name;
  d.caption = "morofin hand-over " + name;
  d.clientWidth = 200 * kTwipsPerPixel;
  d.clientHeight = 120 * kTwipsPerPixel;
  ControlDesign t = at(ControlKind::kTimer, "tick", -1, 0, 0, 0, 0);
  t.interval = 20;
  ControlDesign b = at(ControlKind::kCommandButton, "b", -1, 0, 0, 1200, 400);
  b.caption = "OK";
  d.controls = {t, b};
  return d;
}

// The client's resources on the server, by type name.
using Counts = std::map<std::string, int>;

Counts resourcesOf(Display* d, ::Window w) {
  Counts out;
  int n = 0;
  XResType* types = nullptr;
  if (!XResQueryClientResources(d, w, &n, &types)) return out;
  for (int i = 0; i < n; ++i) {
    char* name = XGetAtomName(d, types[i].resource_type);
    out[name ? name : "?"] = static_cast<int>(types[i].count);
    if (name) XFree(name);
  }
  XFree(types);
  return out;
}

// A screen that hands over to the other one at its own place, as the game's screens do, and
// notes what the program holds on the server while it stands.
class Screen : public Form {
 public:
  Screen(Runtime& rt, const FormDesign& d, std::string next, xdriver::Desk& desk,
         std::vector<Counts>& seen, int& handOvers)
      : Form(rt, d), next_(std::move(next)), desk_(desk), seen_(seen), handOvers_(handOvers) {}

 protected:
  void bindEvents() override {
    ctl<Timer>("tick").onTimer = [this] { tick(); };
  }

 private:
  void tick() {
    const ::Window w = desk_.find(design().caption, std::chrono::milliseconds(0));
    if (!w) return;  // not on the screen yet
    seen_.push_back(resourcesOf(desk_.display(), w));
    if (++handOvers_ > kHandOvers) return Unload();
    Form& other = runtime().form(next_);
    other.Show();
    other.setLeft(Left());
    other.setTop(Top());
    Unload();
  }
  std::string next_;
  xdriver::Desk& desk_;
  std::vector<Counts>& seen_;
  int& handOvers_;
};

TEST(XResources, HandOversLeaveNothingBehindOnTheServer) {
  xdriver::Desk desk;
  if (!desk.ok()) GTEST_SKIP() << "no X display (the test command starts Xvfb)";
  int xres = 0, error = 0;
  if (!XResQueryExtension(desk.display(), &xres, &error))
    GTEST_SKIP() << "the X server has no X-Resource extension";
  sdl::SdlProvider provider;
  ASSERT_TRUE(provider.ok()) << provider.problem();
  const FormDesign a = screenDesign("a"), b = screenDesign("b");
  std::vector<Counts> seen;
  int handOvers = 0;
  Project p;
  p.startupForm = "a";
  p.forms["a"] = [&](Runtime& rt) {
    return std::make_unique<Screen>(rt, a, "b", desk, seen, handOvers);
  };
  p.forms["b"] = [&](Runtime& rt) {
    return std::make_unique<Screen>(rt, b, "a", desk, seen, handOvers);
  };
  Runtime rt(provider, std::move(p));
  ASSERT_EQ(rt.run(), 0);
  ASSERT_EQ(static_cast<int>(seen.size()), kHandOvers + 1);
  // The first screen may still be settling (fonts, the first window's extras); from the second
  // on, every screen stands on the server with exactly what the one before it had.
  for (size_t i = 2; i < seen.size(); ++i)
    EXPECT_EQ(seen[i], seen[1]) << "after " << i - 1 << " hand-overs";
  EXPECT_EQ(seen.back()["COLORMAP"], seen[1]["COLORMAP"]);
}

}  // namespace
