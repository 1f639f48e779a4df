#pragma once

namespace platform {

// The integer scale a desktop asks windows to be drawn at: GDK_SCALE when it is set to a whole
// number, else the X resource Xft.dpi over 96 (192 dots per inch is 2), else 1. Either text may
// be null.
int desktopScale(const char* gdkScale, const char* xResources);

// The largest scale up to `wanted` at which a width x height client area fits into the screen's
// usable area; 1 at least.
int fittingScale(int wanted, int width, int height, int usableWidth, int usableHeight);

}  // namespace platform
