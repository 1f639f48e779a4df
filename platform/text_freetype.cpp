#include "platform/text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <tuple>

namespace platform {
namespace {

// Japanese proportional gothic faces, best first.
const char* const kFamilies[] = {"ＭＳ Ｐゴシック", "MS PGothic", "IPAPGothic",
                                 "IPAexGothic",     "VL PGothic", "Noto Sans CJK JP",
                                 "TakaoPGothic"};

std::vector<uint32_t> decodeUtf8(const std::string& s) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    uint32_t cp;
    int n;
    if (c < 0x80) {
      cp = c;
      n = 1;
    } else if ((c >> 5) == 6) {
      cp = c & 0x1F;
      n = 2;
    } else if ((c >> 4) == 14) {
      cp = c & 0x0F;
      n = 3;
    } else if ((c >> 3) == 30) {
      cp = c & 0x07;
      n = 4;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (i + n > s.size()) {
      out.push_back(0xFFFD);
      break;
    }
    for (int k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out.push_back(cp);
    i += n;
  }
  return out;
}

struct State {
  bool resolved = false;
  std::string file;
  int faceIndex = 0;
  std::string problem;
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  std::map<std::tuple<std::string, float, bool, bool, std::string>, TextImage> cache;

  bool fcInitialised = false;
  ~State() {
    release();
    if (fcInitialised) FcFini();
  }
  void release() {
    cache.clear();
    if (face) FT_Done_Face(face);
    if (lib) FT_Done_FreeType(lib);
    face = nullptr;
    lib = nullptr;
    resolved = false;
  }
};

State& state() {
  static State s;
  return s;
}

bool coversJapanese(FcPattern* p) {
  FcCharSet* cs = nullptr;
  return FcPatternGetCharSet(p, FC_CHARSET, 0, &cs) == FcResultMatch &&
         FcCharSetHasChar(cs, 0x30E2) && FcCharSetHasChar(cs, 0x6613);
}

void resolve(State& s) {
  s.resolved = true;
  if (std::getenv("MOROFIN_NO_FONTS")) {
    s.problem = "no fonts (disabled)";
    return;
  }
  if (!FcInit()) {
    s.problem = "fontconfig could not be initialised";
    return;
  }
  s.fcInitialised = true;
  for (const char* family : kFamilies) {
    FcPattern* pat = FcPatternCreate();
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcPatternAddString(pat, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult r;
    FcPattern* m = FcFontMatch(nullptr, pat, &r);
    FcPatternDestroy(pat);
    if (!m) continue;
    FcChar8* file = nullptr;
    FcChar8* got = nullptr;
    int index = 0;
    bool exact = FcPatternGetString(m, FC_FAMILY, 0, &got) == FcResultMatch &&
                 std::string(reinterpret_cast<char*>(got)) == family;
    if (exact && coversJapanese(m) && FcPatternGetString(m, FC_FILE, 0, &file) == FcResultMatch) {
      FcPatternGetInteger(m, FC_INDEX, 0, &index);
      s.file = reinterpret_cast<char*>(file);
      s.faceIndex = index;
    }
    FcPatternDestroy(m);
    if (!s.file.empty()) break;
  }
  if (s.file.empty()) {
    // Any face that can show Japanese will do.
    FcPattern* pat = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif:lang=ja"));
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult r;
    FcPattern* m = FcFontMatch(nullptr, pat, &r);
    FcPatternDestroy(pat);
    FcChar8* file = nullptr;
    if (m && coversJapanese(m) && FcPatternGetString(m, FC_FILE, 0, &file) == FcResultMatch)
      s.file = reinterpret_cast<char*>(file);
    if (m) FcPatternDestroy(m);
  }
  if (s.file.empty()) {
    s.problem = "no Japanese font is installed (install fonts-ipafont-gothic); text is not shown";
    return;
  }
  if (FT_Init_FreeType(&s.lib) != 0 ||
      FT_New_Face(s.lib, s.file.c_str(), s.faceIndex, &s.face) != 0) {
    s.problem = "cannot read the font " + s.file + "; text is not shown";
    s.file.clear();
    if (s.lib) FT_Done_FreeType(s.lib);
    s.lib = nullptr;
    s.face = nullptr;
  }
}

TextImage rasterise(State& s, const FontSpec& font, const std::string& utf8) {
  TextImage img;
  FT_Face face = s.face;
  const double px = font.sizePt * 96.0 / 72.0;
  FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(px * 64)), 72, 72);
  const int ascender = static_cast<int>(face->size->metrics.ascender >> 6);
  const int descender = static_cast<int>(-(face->size->metrics.descender >> 6));
  const int lineHeight = ascender + descender;
  // Synthesised styles: the faces have no bold or italic of their own.
  const FT_Pos embolden = font.bold ? static_cast<FT_Pos>(std::lround(px * 64 / 24.0)) : 0;
  FT_Matrix shear{0x10000, font.italic ? static_cast<FT_Fixed>(0.2 * 0x10000) : 0, 0, 0x10000};

  struct Placed {
    int x, top;
    int w, h, pitch;
    std::vector<uint8_t> bits;
  };
  std::vector<Placed> glyphs;
  int pen = 0, minX = 0, maxX = 0;
  FT_UInt prev = 0;
  for (uint32_t cp : decodeUtf8(utf8)) {
    FT_UInt gi = FT_Get_Char_Index(face, cp);
    if (prev && gi && FT_HAS_KERNING(face)) {
      FT_Vector k;
      if (FT_Get_Kerning(face, prev, gi, FT_KERNING_DEFAULT, &k) == 0)
        pen += static_cast<int>(k.x >> 6);
    }
    prev = gi;
    if (FT_Load_Glyph(face, gi, FT_LOAD_NO_BITMAP) != 0) continue;
    FT_GlyphSlot g = face->glyph;
    if (g->format == FT_GLYPH_FORMAT_OUTLINE) {
      if (embolden) FT_Outline_Embolden(&g->outline, embolden);
      if (font.italic) FT_Outline_Transform(&g->outline, &shear);
    }
    if (FT_Render_Glyph(g, FT_RENDER_MODE_NORMAL) != 0) continue;
    const FT_Bitmap& b = g->bitmap;
    Placed p{pen + g->bitmap_left,
             ascender - g->bitmap_top,
             static_cast<int>(b.width),
             static_cast<int>(b.rows),
             b.pitch,
             {}};
    if (b.buffer && b.rows > 0)
      p.bits.assign(b.buffer, b.buffer + static_cast<size_t>(std::abs(b.pitch)) * b.rows);
    minX = std::min(minX, p.x);
    maxX = std::max(maxX, p.x + p.w);
    glyphs.push_back(std::move(p));
    pen += static_cast<int>((g->advance.x + embolden) >> 6);
  }
  maxX = std::max(maxX, pen);
  img.width = maxX - minX;
  img.height = lineHeight;
  img.alpha.assign(static_cast<size_t>(img.width) * img.height, 0);
  for (const Placed& p : glyphs) {
    for (int y = 0; y < p.h; ++y) {
      int ty = p.top + y;
      if (ty < 0 || ty >= img.height) continue;
      for (int x = 0; x < p.w; ++x) {
        int tx = p.x - minX + x;
        if (tx < 0 || tx >= img.width) continue;
        uint8_t a = p.bits[static_cast<size_t>(y) * std::abs(p.pitch) + x];
        uint8_t& d = img.alpha[static_cast<size_t>(ty) * img.width + tx];
        d = std::max(d, a);
      }
    }
  }
  return img;
}

}  // namespace

const TextImage& Fonts::render(const FontSpec& font, const std::string& utf8) {
  State& s = state();
  if (!s.resolved) resolve(s);
  auto key = std::make_tuple(font.name, font.sizePt, font.bold, font.italic, utf8);
  auto it = s.cache.find(key);
  if (it != s.cache.end()) return it->second;
  TextImage img = s.face ? rasterise(s, font, utf8) : TextImage{};
  return s.cache.emplace(key, std::move(img)).first->second;
}

const std::string& Fonts::fontFile() {
  State& s = state();
  if (!s.resolved) resolve(s);
  return s.file;
}

const std::string& Fonts::faceNote() {
  // IPA P Gothic is what a Debian set-up installs for the designed face; nothing to tell.
  static const std::string none;
  return none;
}

const std::string& Fonts::problem() {
  State& s = state();
  if (!s.resolved) resolve(s);
  return s.problem;
}

}  // namespace platform
