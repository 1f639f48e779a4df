#pragma once

// The game's numbers, named once for the rules, the screen designs and the tests.
namespace screens {

// Sprite sizes in pixels: the wobo's box and the zeka's.
inline constexpr int kWoboSize = 32;
inline constexpr int kZekaSize = 16;

// Where the wobo starts a game, and the ranges of a zeka's random place (1..600 by 1..300).
inline constexpr int kWoboStartX = 300;
inline constexpr int kWoboStartY = 150;
inline constexpr int kZekaPlaceRangeX = 600;
inline constexpr int kZekaPlaceRangeY = 300;

// Timer intervals in milliseconds: the tick and the pause poll, and the game-over poll.
inline constexpr int kTickMs = 10;
inline constexpr int kPausePollMs = 10;
inline constexpr int kGameOverPollMs = 1;

// Ticks to one step of the countdown clock.
inline constexpr int kTicksPerClockStep = 20;

}  // namespace screens
