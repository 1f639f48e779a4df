#pragma once

namespace platform {

// Tells the player about a problem: one line on standard error, after the program's name. Every
// part of the program says its problems through here, so that they all look alike.
void sayProblem(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform
