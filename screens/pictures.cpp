#include "screens/pictures.h"

#include <algorithm>
#include <iterator>

#include "platform/xpm.h"

namespace screens {
namespace {

#include "assets/pictures/clock.xpm"
#include "assets/pictures/field.xpm"
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
  const platform::Picture nums[] = {decode(num0), decode(num1), decode(num2), decode(num3),
                                    decode(num4), decode(num5), decode(num6), decode(num7),
                                    decode(num8), decode(num9)};
  const platform::Picture wobos[] = {decode(wobo0), decode(wobo1), decode(wobo2), decode(wobo3),
                                     decode(wobo4), decode(wobo5), decode(wobo6)};
  const platform::Picture zekas[] = {decode(zeka0), decode(zeka1), decode(zeka2), decode(zeka3),
                                     decode(zeka4), decode(zeka5), decode(zeka6)};
  std::copy(std::begin(nums), std::end(nums), p.num);
  std::copy(std::begin(wobos), std::end(wobos), p.wobo);
  std::copy(std::begin(zekas), std::end(zekas), p.zeka);
  return p;
}

}  // namespace

const Pictures& pictures() {
  static const Pictures p = load();
  return p;
}

}  // namespace screens
