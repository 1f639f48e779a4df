#include "platform/runtime.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/api.h"
#include "platform/files.h"
#include "platform/headless/headless.h"

using namespace platform;

namespace {

// A small form of our own to hold the runtime to its word.
FormDesign probeDesign(const std::string& name) {
  FormDesign d;
  d.name = name;
  d.clientWidth = 100 * kTwipsPerPixel;
  d.clientHeight = 60 * kTwipsPerPixel;
  ControlDesign t = at(ControlKind::kTimer, "tick", -1, 0, 0, 0, 0);
  t.interval = 10;
  ControlDesign box =
      at(ControlKind::kPictureBox, "box", -1, 0, 0, 22 * kTwipsPerPixel, 12 * kTwipsPerPixel);
  box.border = Border::kFlat;
  ControlDesign b1 = at(ControlKind::kCommandButton, "b", 0, 0, 0, 300, 300);
  b1.tabIndex = 2;
  ControlDesign hidden = at(ControlKind::kTextBox, "t", -1, 0, 0, 300, 300);
  hidden.tabIndex = 1;
  hidden.visible = false;
  ControlDesign b0 = at(ControlKind::kCommandButton, "b", 1, 0, 0, 300, 300);
  b0.tabIndex = 0;
  d.controls = {t, box, b1, hidden, b0};
  return d;
}

class Probe : public Form {
 public:
  Probe(Runtime& rt, const FormDesign& d) : Form(rt, d) {}
  std::function<void(Probe&)> onTick;
  int ticks = 0;
  int unloads = 0;
  void Form_Unload() override { ++unloads; }

 protected:
  void bindEvents() override {
    ctl<Timer>("tick").onTimer = [this] {
      ++ticks;
      if (onTick) onTick(*this);
    };
  }
};

struct World {
  headless::HeadlessProvider hp;
  FormDesign a = probeDesign("a"), b = probeDesign("b");
  std::unique_ptr<Runtime> rt;
  World() {
    Project p;
    p.startupForm = "a";
    p.forms["a"] = [this](Runtime& r) { return std::make_unique<Probe>(r, a); };
    p.forms["b"] = [this](Runtime& r) { return std::make_unique<Probe>(r, b); };
    rt = std::make_unique<Runtime>(hp, std::move(p));
  }
  Probe& form(const char* n) { return static_cast<Probe&>(rt->form(n)); }
};

TEST(I16, OverflowIsARuntimeErrorNotAWrap) {
  EXPECT_EQ((I16(32766) + 1).value(), 32767);
  EXPECT_EQ((I16(-32767) - 1).value(), -32768);
  auto overflows = [](auto f) {
    try {
      f();
    } catch (const RuntimeError& e) {
      return e.number() == err::kOverflow;
    }
    return false;
  };
  EXPECT_TRUE(overflows([] { return I16(32767) + 1; }));
  EXPECT_TRUE(overflows([] { return I16(-32768) - 1; }));
  EXPECT_TRUE(overflows([] { return I16(200) * 200; }));
  EXPECT_TRUE(overflows([] { return I16(40000); }));
  EXPECT_TRUE(overflows([] { return I16::fromFloat(32767.5); }));
  EXPECT_TRUE(overflows([] { return I16::fromFloat(std::nan("")); }));
  // Conversions round to the nearest, halves to even.
  EXPECT_EQ(I16::fromFloat(624.0f).value(), 624);
  EXPECT_EQ(I16::fromFloat(2.5).value(), 2);
  EXPECT_EQ(I16::fromFloat(3.5).value(), 4);
  EXPECT_EQ(I16::fromFloat(-32768.4).value(), -32768);
}

TEST(Blit, RasterOperationsCombineEveryChannelBit) {
  // In the usual screen layout and in one with the channels the other way round.
  for (PixelFormat f : {PixelFormat{}, PixelFormat{0, 8, 16}}) {
    Bitmap destRgb(2, 1, {0x12, 0xF0, 0x0F});
    destRgb.set(1, 0, {200, 100, 50});
    Bitmap srcRgb(2, 1, {0x0F, 0x0F, 0xFF});
    srcRgb.set(1, 0, {255, 255, 255});
    const NativeImage dest = NativeImage::from(destRgb, f), src = NativeImage::from(srcRgb, f);
    NativeImage merge = dest;
    blit(merge, src, 0, 0, RasterOp::kMergePaint);
    EXPECT_EQ(merge.at(0, 0), (Rgb{0x12 | 0xF0, 0xF0 | 0xF0, 0x0F | 0x00}));
    EXPECT_EQ(merge.at(1, 0), (Rgb{200, 100, 50}));     // OR with NOT white changes nothing
    EXPECT_EQ(merge.pixels[0] & ~f.channelMask(), 0u);  // the spare byte stays clear
    NativeImage andImg = dest;
    blit(andImg, src, 0, 0, RasterOp::kSrcAnd);
    EXPECT_EQ(andImg.at(0, 0), (Rgb{0x12 & 0x0F, 0xF0 & 0x0F, 0x0F}));
    EXPECT_EQ(andImg.at(1, 0), (Rgb{200, 100, 50}));  // AND with white changes nothing
  }
}

TEST(Blit, ClipsAtEveryEdgeWithoutWrapping) {
  const Rgb bg{10, 20, 30};
  const PixelFormat f;
  NativeImage sprite(8, 8, f, {0, 0, 0});
  struct Case {
    int x, y;
    int expectBlack;
  } cases[] = {{-4, -4, 16}, {36, -4, 16}, {-4, 16, 16}, {36, 16, 16},
               {-8, 0, 0},   {40, 0, 0},   {0, 20, 0}};
  for (const Case& c : cases) {
    NativeImage dest(40, 20, f, bg);
    blit(dest, sprite, c.x, c.y, RasterOp::kSrcAnd);
    int black = 0;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 40; ++x) black += dest.at(x, y) == Rgb{0, 0, 0};
    EXPECT_EQ(black, c.expectBlack) << c.x << "," << c.y;
    if (c.x == -4 && c.y == -4) {
      EXPECT_EQ(dest.at(39, 19), bg);
      EXPECT_EQ(dest.at(39, 0), bg);
      EXPECT_EQ(dest.at(0, 19), bg);
      EXPECT_EQ(dest.at(3, 3), (Rgb{0, 0, 0}));
      EXPECT_EQ(dest.at(4, 3), bg);
    }
  }
}

TEST(PictureBox, SharesPicturesAndResetsItsImageWhenGivenOne) {
  World w;
  ASSERT_TRUE(w.rt->start());
  auto& box = w.form("a").ctl<PictureBox>("box");
  EXPECT_EQ(box.ScaleWidth(), 20.0f);
  EXPECT_EQ(box.ScaleHeight(), 10.0f);
  Picture bg = Picture::of(Bitmap(20, 10, {1, 2, 3}));
  box.setPicture(bg);
  EXPECT_TRUE(box.GetPicture() == bg);  // the same object, not a copy
  box.PaintPicture(Picture::of(Bitmap(2, 2, {0, 0, 0})), 1, 1,
                   static_cast<int32_t>(RasterOp::kSrcAnd));
  EXPECT_EQ(box.image().at(1, 1), (Rgb{0, 0, 0}));
  EXPECT_EQ(bg.bitmap()->at(1, 1), (Rgb{1, 2, 3}));  // pictures never change
  box.setPicture(bg);
  EXPECT_EQ(box.image().at(1, 1), (Rgb{1, 2, 3}));
  EXPECT_THROW(box.PaintPicture(bg, 0, 0, 12345), RuntimeError);
}

TEST(Timers, StoppedInsideItsOwnHandlerRunsToItsEndAndFiresNoMore) {
  World w;
  ASSERT_TRUE(w.rt->start());
  Probe& a = w.form("a");
  bool reachedEnd = false;
  a.onTick = [&](Probe& f) {
    f.ctl<Timer>("tick").setInterval(0);
    reachedEnd = true;
  };
  w.hp.advance(*w.rt, 100);
  EXPECT_EQ(a.ticks, 1);
  EXPECT_TRUE(reachedEnd);
  a.onTick = nullptr;
  a.ctl<Timer>("tick").setInterval(10);
  w.hp.advance(*w.rt, 35);
  EXPECT_EQ(a.ticks, 4);
}

TEST(Timers, DeadlinesAreAbsoluteAndALateTimerFiresOnce) {
  World w;
  ASSERT_TRUE(w.rt->start());
  Probe& a = w.form("a");
  Timer& t = a.ctl<Timer>("tick");
  EXPECT_EQ(t.deadlineUs, 10000);
  // A stall of 95 ms: one firing, then back on the 10 ms grid.
  w.rt->fireDueTimers(95000);
  EXPECT_EQ(a.ticks, 1);
  EXPECT_EQ(t.deadlineUs, 100000);
  w.rt->fireDueTimers(100400);  // fired 0.4 ms late: the next deadline does not move
  EXPECT_EQ(t.deadlineUs, 110000);
  EXPECT_EQ(a.ticks, 2);
}

// A key poll fires on its grid while the keys change and sleeps, with no deadline to wake the
// loop for, while they stay as it last saw them; unless the keys are read once per pass, when
// only waking for it can show a change.
TEST(Timers, AKeyPollSleepsUntilAKeyChangesAndWakesOnItsOwnGrid) {
  World w;
  ASSERT_TRUE(w.rt->start());
  Probe& a = w.form("a");
  Timer& t = a.ctl<Timer>("tick");
  t.pollsKeysOnly = true;
  std::vector<int64_t> firedAt;
  a.onTick = [&](Probe&) { firedAt.push_back(w.hp.nowUs()); };
  w.hp.advance(*w.rt, 95);
  EXPECT_EQ(firedAt, (std::vector<int64_t>{10000}));
  EXPECT_FALSE(w.rt->nextDeadline());

  const struct {
    const char* what;
    std::function<void()> change;
  } changes[] = {
      {"a key going down", [&] { w.rt->keys().setHeld(VK_SPACE, true); }},
      {"the key coming up", [&] { w.rt->keys().setHeld(VK_SPACE, false); }},
      {"presses forgotten", [&] { w.rt->keys().forgetPresses(); }},
  };
  int64_t at = 95000;
  for (const auto& c : changes) {
    SCOPED_TRACE(c.what);
    firedAt.clear();
    c.change();
    w.hp.advance(*w.rt, 100);
    EXPECT_EQ(firedAt, (std::vector<int64_t>{at + 5000}));  // the next point on its grid
    at += 100000;
  }
  // A key already up or down, set so again, is no change.
  firedAt.clear();
  w.rt->keys().setHeld(VK_SPACE, false);
  w.hp.advance(*w.rt, 100);
  EXPECT_TRUE(firedAt.empty());

  // Keys read once per pass: the poll keeps its schedule.
  w.rt->setKeysArriveAsEvents(false);
  w.hp.advance(*w.rt, 30);
  EXPECT_EQ(firedAt.size(), 3u);
  // Restarting it makes its next firing due whatever the keys.
  w.rt->setKeysArriveAsEvents(true);
  t.setInterval(10);
  firedAt.clear();
  w.hp.advance(*w.rt, 100);
  EXPECT_EQ(firedAt.size(), 1u);
}

TEST(Forms, UnloadInsideOwnTimerHandlerDefersDestruction) {
  World w;
  ASSERT_TRUE(w.rt->start());
  Probe& a = w.form("a");
  bool touchedAfterUnload = false;
  a.onTick = [&](Probe& f) {
    Timer& t = f.ctl<Timer>("tick");
    w.form("b").Show();
    f.Unload();
    // The controls are still alive until the handler returns.
    touchedAfterUnload = t.Interval() == 10;
  };
  w.hp.advance(*w.rt, 10);
  EXPECT_TRUE(touchedAfterUnload);
  EXPECT_FALSE(a.loaded());
  EXPECT_EQ(a.unloads, 1);
  EXPECT_TRUE(w.form("b").loaded());
  EXPECT_FALSE(w.rt->ended());
  w.form("b").onTick = [](Probe& f) { f.Unload(); };
  w.hp.advance(*w.rt, 10);
  EXPECT_TRUE(w.rt->ended());
  EXPECT_EQ(w.rt->exitStatus(), 0);
}

TEST(Forms, UnloadOfAFormWhoseHandlerIsFurtherUpTheStack) {
  World w;
  ASSERT_TRUE(w.rt->start());
  Probe& a = w.form("a");
  // a's handler shows b; b's own work unloads a while a's handler is still running.
  int intervalAfterUnload = -1;
  a.onTick = [&](Probe& f) {
    Timer& t = f.ctl<Timer>("tick");
    Probe& b = w.form("b");
    b.Show();
    b.ctl<CommandButton>("b", 0).onClick = [&] { f.Unload(); };
    w.rt->dispatch(b.ctl<CommandButton>("b", 0).onClick);
    intervalAfterUnload = t.Interval();  // not freed while a's handler runs
  };
  w.hp.advance(*w.rt, 10);
  EXPECT_EQ(intervalAfterUnload, 10);
  EXPECT_FALSE(a.loaded());
  EXPECT_THROW(a.control("tick"), RuntimeError);
  // Showing again builds it afresh from its design.
  a.onTick = nullptr;
  w.rt->dispatch([&] { a.Show(); });
  EXPECT_EQ(a.ctl<Timer>("tick").Interval(), 10);
}

TEST(Forms, RuntimeErrorInAHandlerEndsTheProgramAndIsReported) {
  World w;
  ASSERT_TRUE(w.rt->start());
  w.form("a").onTick = [](Probe& f) { f.ctl<CommandButton>("b", 7); };
  w.hp.advance(*w.rt, 10);
  EXPECT_TRUE(w.rt->ended());
  EXPECT_EQ(w.rt->exitStatus(), 1);
  ASSERT_EQ(w.hp.errors.size(), 1u);
  EXPECT_EQ(w.hp.errors[0].number(), err::kSubscript);
}

TEST(Forms, FocusFollowsTabOrderSkippingHiddenControls) {
  World w;
  ASSERT_TRUE(w.rt->start());
  Probe& a = w.form("a");
  EXPECT_EQ(a.focused(), &a.control("b", 1));
  a.moveFocus(false);
  EXPECT_EQ(a.focused(), &a.control("b", 0));
  a.moveFocus(false);
  EXPECT_EQ(a.focused(), &a.control("b", 1));
  a.moveFocus(true);
  EXPECT_EQ(a.focused(), &a.control("b", 0));
}

TEST(Forms, ClosingTheLastFormEndsTheProgram) {
  World w;
  ASSERT_TRUE(w.rt->start());
  EXPECT_TRUE(w.hp.window("a"));
  w.rt->dispatch([&] { w.form("a").Unload(); });
  EXPECT_TRUE(w.rt->ended());
  EXPECT_EQ(w.form("a").unloads, 1);
  EXPECT_FALSE(w.hp.window("a"));
}

TEST(Keys, HeldOrPressedSinceTheLastQuery) {
  KeyState k;
  EXPECT_EQ(k.query(VK_UP), 0);
  k.setHeld(VK_UP, true);
  EXPECT_NE(k.query(VK_UP), 0);
  EXPECT_NE(k.query(VK_UP), 0);  // still held
  k.setHeld(VK_UP, false);
  EXPECT_EQ(k.query(VK_UP), 0);
  k.setHeld(VK_SPACE, true);
  k.setHeld(VK_SPACE, false);  // a tap between two queries still counts once
  EXPECT_NE(k.query(VK_SPACE), 0);
  EXPECT_EQ(k.query(VK_SPACE), 0);
  EXPECT_EQ(k.query(-1), 0);
  EXPECT_EQ(k.query(999), 0);
}

TEST(Random, ReseedingBeforeEveryDrawStillGivesIndependentDraws) {
  ClockRandom r;
  std::set<float> seen;
  int deciles[10] = {};
  for (int i = 0; i < 5000; ++i) {
    r.mix(42);  // the same clock reading every time
    float v = r.rnd();
    ASSERT_GE(v, 0.0f);
    ASSERT_LT(v, 1.0f);
    seen.insert(v);
    ++deciles[static_cast<int>(v * 10)];
  }
  EXPECT_GT(seen.size(), 4900u);
  for (int d : deciles) EXPECT_GT(d, 350);
  // And through the runtime's own re-seed from the clock.
  std::set<float> viaClock;
  for (int i = 0; i < 1000; ++i) {
    r.randomize();
    viaClock.insert(r.rnd());
  }
  EXPECT_GT(viaClock.size(), 990u);
}

TEST(Files, GamePathsUseTheNativeSeparatorAndTheProgramFolder) {
#ifdef _WIN32
  EXPECT_EQ(nativePath("C:\\Games\\morofin\\data\\e.dat"), "C:\\Games\\morofin\\data\\e.dat");
  EXPECT_EQ(nativePath("C:\\a b/c\\sound\\bgm_n.mid"), "C:\\a b\\c\\sound\\bgm_n.mid");
  const std::string program = "morofin_tests.exe";
#else
  EXPECT_EQ(nativePath("/opt/morofin\\data\\e.dat"), "/opt/morofin/data/e.dat");
  EXPECT_EQ(nativePath("/a b/c\\sound\\bgm_n.mid"), "/a b/c/sound/bgm_n.mid");
  const std::string program = "morofin_tests";
#endif
  std::string exe = executableFolder();
  EXPECT_FALSE(exe.empty());
  EXPECT_NE(exe.back(), '/');
  EXPECT_NE(exe.back(), '\\');
  EXPECT_TRUE(std::filesystem::exists(exe + "/" + program));
}

TEST(Api, TextAndNumberConversions) {
  EXPECT_EQ(Val("91"), 91);
  EXPECT_EQ(Val("+1"), 1);
  EXPECT_EQ(Val("-2"), -2);
  EXPECT_EQ(Val("0"), 0);
  EXPECT_EQ(Val("x"), 0);
  EXPECT_EQ(Floor(-2.0), -2);
  EXPECT_EQ(Str(I16(-7)), "-7");
  EXPECT_EQ(Str(I16(105)), "105");
}

}  // namespace
