#include "screens/pictures.h"

#include <iterator>

#include "platform/xpm.h"

namespace screens {
namespace {

#include "assets/pictures/field.xpm"
#include "assets/pictures/clock.xpm"
#include "assets/pictures/icon.xpm"
#include "assets/pictures/num0.xpm"
#include "assets/pictures/num1.xpm"
#include "assets/pictures/num2.xpm"
#include "assets/pictures/num3.xpm"
#include "assets/pictures/num4.xpm"
#include "assets/pictures/num5.xpm"
#include "assets/pictures/num6.xpm"
#include "assets/pictures/num7.xpm"
#include "assets/pictures/num8.xpm"
#include "assets/pictures/num9.xpm"
#include "assets/pictures/wobo0.xpm"
#include "assets/pictures/wobo1.xpm"
#include "assets/pictures/wobo2.xpm"
#include "assets/pictures/wobo3.xpm"
#include "assets/pictures/wobo4.xpm"
#include "assets/pictures/wobo5.xpm"
#include "assets/pictures/wobo6.xpm"
#include "assets/pictures/zeka0.xpm"
#include "assets/pictures/zeka1.xpm"
#include "assets/pictures/zeka2.xpm"
#include "assets/pictures/zeka3.xpm"
#include "assets/pictures/zeka4.xpm"
#include "assets/pictures/zeka5.xpm"
#include "assets/pictures/zeka6.xpm"

template <size_t N>
platform::Picture decode(const char* (&xpm)[N]) {
  return platform::Picture::of(platform::decodeXpm(xpm, N));
}

Pictures load() {
  Pictures p;
  p.field = decode(field);
  p.clock = decode(clock);
  p.icon = decode(icon);
  const char** nums[] = {num0, num1, num2, num3, num4, num5, num6, num7, num8, num9};
  const size_t numSizes[] = {std::size(num0), std::size(num1), std::size(num2), std::size(num3),
                             std::size(num4), std::size(num5), std::size(num6), std::size(num7),
                             std::size(num8), std::size(num9)};
  for (int d = 0; d < 10; ++d) p.num[d] = platform::Picture::of(platform::decodeXpm(nums[d], numSizes[d]));
  const char** wobos[] = {wobo0, wobo1, wobo2, wobo3, wobo4, wobo5, wobo6};
  const size_t woboSizes[] = {std::size(wobo0), std::size(wobo1), std::size(wobo2), std::size(wobo3),
                              std::size(wobo4), std::size(wobo5), std::size(wobo6)};
  const char** zekas[] = {zeka0, zeka1, zeka2, zeka3, zeka4, zeka5, zeka6};
  const size_t zekaSizes[] = {std::size(zeka0), std::size(zeka1), std::size(zeka2), std::size(zeka3),
                              std::size(zeka4), std::size(zeka5), std::size(zeka6)};
  for (int i = 0; i < 7; ++i) {
    p.wobo[i] = platform::Picture::of(platform::decodeXpm(wobos[i], woboSizes[i]));
    p.zeka[i] = platform::Picture::of(platform::decodeXpm(zekas[i], zekaSizes[i]));
  }
  return p;
}

}  // namespace

const Pictures& pictures() {
  static const Pictures p = load();
  return p;
}

}  // namespace screens
