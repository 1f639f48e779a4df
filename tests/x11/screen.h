#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <utility>
#include <vector>

#include "tests/x11/xdriver.h"

namespace xdriver {

// The tests and these helpers speak of times as 300ms and 5s.
using namespace std::chrono_literals;

// One look at a window's client area.
struct Shot {
  std::vector<Rgb> px;
  int w = 0, h = 0;
  Rgb at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
};

Shot shoot(Desk& d, Window w);

// The same colour, give or take what the screen's format rounds away.
bool near(Rgb a, Rgb b);
// How many pixels of two looks at one window are not near each other.
int differing(const Shot& a, const Shot& b);

// Reads a digit picture (3 x 5 blocks of 10 px) whose top-left corner is at (x0, y0); -1 when it
// is none.
int digitAt(const Shot& s, int x0, int y0);
// The two digits from (x0, y0) as one number.
int number(const Shot& s, int x0, int y0);

struct Patch {
  int size, minX, minY, maxX, maxY;
  int cx() const { return (minX + maxX) / 2; }
  int cy() const { return (minY + maxY) / 2; }
};

// Every patch of the creatures' body colour on the playfield, biggest first.
std::vector<Patch> patches(const Shot& s);
// The wobo is the biggest patch: its box's left and top, or -1 when none is seen.
std::pair<int, int> findWobo(const Shot& s);

int countNear(const Shot& s, int x0, int y0, int w, int h, Rgb c);
// "Pause" in blue over the field; with anyTrace, whether any of it is still there.
bool pauseShown(const Shot& s, bool anyTrace = false);
// "GameOver..." in red over the field.
bool gameOverShown(const Shot& s);

// The title as designed at `scale` times its size: the window's size, its white ground, the
// colours of two of its buttons and the blue title text.
void expectTitleAsDesigned(Desk& d, Window t, int scale);

// A window is mapped before its first frame reaches it: these wait for what the test needs.
// The title is drawn: its corner is white.
bool titleDrawn(Desk& d, Window t, std::chrono::milliseconds timeout = 5s);
// The game has begun: its clock shows a time. (Its first frames show the clock at 00, until the
// first count.)
bool gameStarted(Desk& d, Window g, std::chrono::milliseconds timeout = 5s);

// Steers the wobo towards the zeka with the arrow keys, as a player does, until the game is over;
// the final score, or -1 when the game did not end within timeout.
int chaseToTheEnd(Desk& d, Window g, std::chrono::milliseconds timeout);

// The real program on a bare X server (no window manager).
class RealWindow : public ::testing::Test {
 protected:
  void SetUp() override;
  // Starts the program and waits for its title window's first frame.
  Window startTitle();
  // Starts the program and clicks the mode button at (x, y) on its title: the game window once
  // the game has begun, or 0.
  Window startGame(int x, int y);
  // Clicks the mode button at (x, y) on the title: the game window, which must have taken the
  // title's place, or 0.
  Window gameInPlaceOf(Window title, int x, int y);
  Desk desk;
  Program prog;
};

}  // namespace xdriver
