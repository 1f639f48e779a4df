#include "drawing/playfield.h"

namespace drawing {

using platform::RasterOp;

namespace {
constexpr int32_t kMergePaint = static_cast<int32_t>(RasterOp::kMergePaint);
constexpr int32_t kSrcAnd = static_cast<int32_t>(RasterOp::kSrcAnd);
}  // namespace

void drawFrame(platform::PictureBox& map, const platform::PictureBox& mapPicture,
               const platform::ControlArray<platform::PictureBox>& zeka,
               const platform::ControlArray<platform::PictureBox>& wobo, const Sprites& s) {
  map.setPicture(mapPicture.GetPicture());
  map.PaintPicture(zeka[4].GetPicture(), s.zekaX.toSingle(), s.zekaY.toSingle(), kMergePaint);
  map.PaintPicture(zeka[s.zekaDir].GetPicture(), s.zekaX.toSingle(), s.zekaY.toSingle(), kSrcAnd);
  map.PaintPicture(wobo[4].GetPicture(), s.woboX.toSingle(), s.woboY.toSingle(), kMergePaint);
  map.PaintPicture(wobo[s.woboDir].GetPicture(), s.woboX.toSingle(), s.woboY.toSingle(), kSrcAnd);
}

}  // namespace drawing
