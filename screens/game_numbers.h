#pragma once

// The game's numbers, named once for the rules, the screen designs and the tests.
namespace screens {

// Sprite sizes in pixels: the wobo's box, and the zeka's.
inline constexpr int kWoboSize = 32, kZekaSize = 16;

// Where the wobo starts each game.
inline constexpr int kWoboStartX = 300, kWoboStartY = 150;

// A zeka's random place is 1..600 across and 1..300 down.
inline constexpr int kZekaPlaceRangeX = 600, kZekaPlaceRangeY = 300;

// Timer intervals in milliseconds: the tick, the pause poll and the game-over poll.
inline constexpr int kTickMs = 10, kPausePollMs = 10, kGameOverPollMs = 1;

// Ticks to one step of the countdown clock.
inline constexpr int kTicksPerClockStep = 20;

}  // namespace screens
