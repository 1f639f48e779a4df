// Text on Windows: GDI draws each caption into a bitmap of its own, white on black, and the grey
// it leaves is the caption's coverage.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <tuple>
#include <vector>

#include "platform/text.h"
#include "platform/utf16_windows.h"

namespace platform {
namespace {

// ＭＳ Ｐゴシック, the face of the designs, by its Japanese and its English name.
const wchar_t* const kDesigned[] = {L"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF", L"MS PGothic"};
// What every Windows 10 and 11 has, best first.
const wchar_t* const kStandIns[] = {L"Yu Gothic", L"Meiryo"};

struct State {
  bool resolved = false;
  std::wstring face;
  std::string name;  // the face, as UTF-8
  std::string problem;
  std::string note;
  HDC dc = nullptr;
  std::map<std::tuple<std::string, float, bool, bool, std::string>, TextImage> cache;
  ~State() {
    if (dc) ::DeleteDC(dc);
  }
};

State& state() {
  static State s;
  return s;
}

HFONT makeFont(const std::wstring& face, double px, bool bold, bool italic) {
  LOGFONTW lf{};
  lf.lfHeight = -static_cast<LONG>(std::lround(px));
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = italic ? TRUE : FALSE;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_TT_PRECIS;
  lf.lfQuality = ANTIALIASED_QUALITY;
  face.copy(lf.lfFaceName, LF_FACESIZE - 1);
  return ::CreateFontIndirectW(&lf);
}

struct Found {
  std::wstring face;
  bool proportional;
};

int CALLBACK noteFace(const LOGFONTW* lf, const TEXTMETRICW* tm, DWORD, LPARAM found) {
  auto* faces = reinterpret_cast<std::vector<Found>*>(found);
  // Faces whose names begin with "@" are the same faces turned for vertical text. (The pitch bit
  // is set for proportional faces.)
  if (lf->lfFaceName[0] != L'@')
    faces->push_back({lf->lfFaceName, (tm->tmPitchAndFamily & TMPF_FIXED_PITCH) != 0});
  return 1;
}

// The installed faces of a family name, or of a character set when the name is empty;
// proportional ones first, as the designed face is one.
std::vector<std::wstring> installedFaces(HDC dc, const std::wstring& family, BYTE charset) {
  LOGFONTW lf{};
  lf.lfCharSet = charset;
  family.copy(lf.lfFaceName, LF_FACESIZE - 1);
  std::vector<Found> found;
  ::EnumFontFamiliesExW(dc, &lf, noteFace, reinterpret_cast<LPARAM>(&found), 0);
  std::stable_partition(found.begin(), found.end(), [](const Found& f) { return f.proportional; });
  std::vector<std::wstring> faces;
  for (const Found& f : found) faces.push_back(f.face);
  return faces;
}

// Whether the face has the Japanese glyphs the game shows ("モ" and "易" stand for them all).
bool coversJapanese(HDC dc, const std::wstring& face) {
  HFONT f = makeFont(face, 16, false, false);
  if (!f) return false;
  HGDIOBJ old = ::SelectObject(dc, f);
  WORD glyphs[2] = {0, 0};
  const bool ok = ::GetGlyphIndicesW(dc, L"\u30E2\u6613", 2, glyphs, GGI_MARK_NONEXISTING_GLYPHS) ==
                      2 &&
                  glyphs[0] != 0xFFFF && glyphs[1] != 0xFFFF;
  ::SelectObject(dc, old);
  ::DeleteObject(f);
  return ok;
}

bool take(State& s, const std::wstring& family) {
  for (const std::wstring& face : installedFaces(s.dc, family, DEFAULT_CHARSET)) {
    if (coversJapanese(s.dc, face)) {
      s.face = face;
      s.name = narrow(face);
      return true;
    }
  }
  return false;
}

void resolve(State& s) {
  s.resolved = true;
  if (::GetEnvironmentVariableW(L"MOROFIN_NO_FONTS", nullptr, 0) > 0) {
    s.problem = "no fonts (disabled)";
    return;
  }
  s.dc = ::CreateCompatibleDC(nullptr);
  if (!s.dc) {
    s.problem = "GDI could not make a drawing context; text is not shown";
    return;
  }
  for (const wchar_t* f : kDesigned)
    if (take(s, f)) return;
  const std::string designed = narrow(kDesigned[0]);
  for (const wchar_t* f : kStandIns) {
    if (take(s, f)) {
      s.note = "the designed face " + designed + " is not installed; the text is shown in " + s.name;
      return;
    }
  }
  // Any face that can show Japanese will do.
  for (const std::wstring& face : installedFaces(s.dc, L"", SHIFTJIS_CHARSET)) {
    if (take(s, face)) {
      s.note = "the designed face " + designed + " is not installed, nor Yu Gothic or Meiryo; " +
               "the text is shown in " + s.name;
      return;
    }
  }
  s.problem = "no Japanese font is installed; text is not shown";
}

TextImage rasterise(State& s, const FontSpec& font, const std::string& utf8) {
  TextImage img;
  const double px = font.sizePt * 96.0 / 72.0;
  HFONT f = makeFont(s.face, px, font.bold, font.italic);
  if (!f) return img;
  HGDIOBJ oldFont = ::SelectObject(s.dc, f);
  TEXTMETRICW tm{};
  ::GetTextMetricsW(s.dc, &tm);
  const std::wstring text = widen(utf8);
  SIZE extent{};
  ::GetTextExtentPoint32W(s.dc, text.c_str(), static_cast<int>(text.size()), &extent);
  img.height = tm.tmHeight;
  // Room on both sides for what overhangs the advance: an italic's slant, a bold's extra width.
  const int margin = tm.tmHeight / 2 + 2;
  const int w = static_cast<int>(extent.cx) + 2 * margin;
  const int h = std::max<int>(tm.tmHeight, 1);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top row first
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bmp = ::CreateDIBSection(s.dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bmp || !bits) {
    ::SelectObject(s.dc, oldFont);
    ::DeleteObject(f);
    if (bmp) ::DeleteObject(bmp);
    return img;
  }
  HGDIOBJ oldBitmap = ::SelectObject(s.dc, bmp);
  std::memset(bits, 0, static_cast<size_t>(w) * h * 4);
  ::SetTextColor(s.dc, RGB(255, 255, 255));
  ::SetBkMode(s.dc, TRANSPARENT);
  ::SetTextAlign(s.dc, TA_TOP | TA_LEFT | TA_NOUPDATECP);
  ::TextOutW(s.dc, margin, 0, text.c_str(), static_cast<int>(text.size()));
  ::GdiFlush();
  const auto* px32 = static_cast<const uint32_t*>(bits);
  auto coverage = [&](int x, int y) {
    return static_cast<uint8_t>((px32[static_cast<size_t>(y) * w + x] >> 8) & 0xFF);
  };
  // The image spans the advance and whatever ink lies outside it, as on Linux.
  int first = margin, last = margin + static_cast<int>(extent.cx);
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y)
      if (coverage(x, y)) {
        first = std::min(first, x);
        last = std::max(last, x + 1);
      }
  if (!text.empty()) {
    img.width = last - first;
    img.alpha.assign(static_cast<size_t>(img.width) * img.height, 0);
    for (int y = 0; y < img.height; ++y)
      for (int x = 0; x < img.width; ++x)
        img.alpha[static_cast<size_t>(y) * img.width + x] = coverage(first + x, y);
  }
  ::SelectObject(s.dc, oldBitmap);
  ::DeleteObject(bmp);
  ::SelectObject(s.dc, oldFont);
  ::DeleteObject(f);
  return img;
}

}  // namespace

const TextImage& Fonts::render(const FontSpec& font, const std::string& utf8) {
  State& s = state();
  if (!s.resolved) resolve(s);
  auto key = std::make_tuple(font.name, font.sizePt, font.bold, font.italic, utf8);
  auto it = s.cache.find(key);
  if (it != s.cache.end()) return it->second;
  TextImage img = s.face.empty() ? TextImage{} : rasterise(s, font, utf8);
  return s.cache.emplace(key, std::move(img)).first->second;
}

const std::string& Fonts::fontFile() {
  State& s = state();
  if (!s.resolved) resolve(s);
  return s.name;
}

const std::string& Fonts::problem() {
  State& s = state();
  if (!s.resolved) resolve(s);
  return s.problem;
}

const std::string& Fonts::faceNote() {
  State& s = state();
  if (!s.resolved) resolve(s);
  return s.note;
}

}  // namespace platform
