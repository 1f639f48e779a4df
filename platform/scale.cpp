#include "platform/scale.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace platform {
namespace {

constexpr int kMostScale = 8;

// A whole number from 1 to kMostScale, or 0.
int wholeScale(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  if (s.empty() || s.size() > 2) return 0;
  int n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  return n >= 1 && n <= kMostScale ? n : 0;
}

// Xft.dpi from the resource text ("name:<blanks>value" lines), or 0.
double xftDpi(std::string_view res) {
  constexpr std::string_view kName = "Xft.dpi:";
  while (!res.empty()) {
    const size_t end = res.find('\n');
    std::string_view line = res.substr(0, end);
    res = end == std::string_view::npos ? std::string_view{} : res.substr(end + 1);
    if (line.substr(0, kName.size()) != kName) continue;
    const std::string value(line.substr(kName.size()));
    char* rest = nullptr;
    const double dpi = std::strtod(value.c_str(), &rest);
    if (rest == value.c_str() || !(dpi > 0 && dpi < 100000)) return 0;
    return dpi;
  }
  return 0;
}

}  // namespace

int desktopScale(const char* gdkScale, const char* xResources) {
  if (gdkScale && *gdkScale)
    if (int n = wholeScale(gdkScale)) return n;
  if (xResources) {
    const double dpi = xftDpi(xResources);
    const int n = static_cast<int>(dpi / 96.0);
    if (n >= 1) return n > kMostScale ? kMostScale : n;
  }
  return 1;
}

int fittingScale(int wanted, int width, int height, int usableWidth, int usableHeight) {
  int n = wanted;
  while (n > 1 && (width * n > usableWidth || height * n > usableHeight)) --n;
  return n < 1 ? 1 : n;
}

}  // namespace platform
