#pragma once

#include <optional>
#include <utility>

struct SDL_Window;

namespace platform::sdl {

// What the window manager does around our windows. A form's Left and Top are the outer corner
// of its window, frame included, so a window put in another's place covers it exactly.

// Where the window's frame stands on the screen now, in pixels: its client area's place less
// the frame the window manager drew around it. Without a window manager the frame is nothing.
std::optional<std::pair<int, int>> outerPosition(SDL_Window* w);

// Puts a mapped window's frame at (x, y).
void moveFrameTo(SDL_Window* w, int x, int y);

// Before the window is mapped: the title bar offers move and close only, with a border, a title
// and a window menu; no minimise, no maximise, no resizing.
void offerMoveAndCloseOnly(SDL_Window* w);

}  // namespace platform::sdl
