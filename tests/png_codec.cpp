#include "tests/png_codec.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstdint>
#include <vector>

namespace testkit::png {
namespace {

using Bytes = std::vector<uint8_t>;

uint32_t crc32(const uint8_t* p, size_t n, uint32_t crc = 0) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

uint32_t adler32(const uint8_t* p, size_t n) {
  uint32_t a = 1, b = 0;
  for (size_t i = 0; i < n; ++i) {
    a = (a + p[i]) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

uint32_t bigEndian(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Deflate's bits, least significant first.
class Bits {
 public:
  Bits(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  bool take(int count, uint32_t& v) {
    while (have_ < count) {
      if (at_ >= n_) return false;
      buf_ |= uint64_t(p_[at_++]) << have_;
      have_ += 8;
    }
    v = static_cast<uint32_t>(buf_ & ((uint64_t(1) << count) - 1));
    buf_ >>= count;
    have_ -= count;
    return true;
  }
  // A stored block starts at the next whole byte; fewer than eight bits are ever held over.
  void toByte() {
    buf_ = 0;
    have_ = 0;
  }
  bool byte(uint8_t& b) {
    if (at_ >= n_) return false;
    b = p_[at_++];
    return true;
  }
  size_t at() const { return at_; }

 private:
  const uint8_t* p_;
  size_t n_;
  size_t at_ = 0;
  uint64_t buf_ = 0;
  int have_ = 0;
};

// A canonical Huffman code: how many codes of each length, and the symbols in code order.
struct Code {
  std::array<uint16_t, 16> count{};
  std::vector<uint16_t> symbols;

  bool build(const uint8_t* lengths, int n) {
    count.fill(0);
    for (int i = 0; i < n; ++i) ++count[lengths[i]];
    count[0] = 0;
    int left = 1;
    for (int len = 1; len < 16; ++len) {
      left = (left << 1) - count[len];
      if (left < 0) return false;  // more codes than the lengths allow
    }
    std::array<uint16_t, 16> next{};
    for (int len = 1; len < 15; ++len) next[len + 1] = next[len] + count[len];
    symbols.assign(static_cast<size_t>(n), 0);
    for (int s = 0; s < n; ++s)
      if (lengths[s]) symbols[next[lengths[s]]++] = static_cast<uint16_t>(s);
    return true;
  }

  int decode(Bits& bits) const {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len < 16; ++len) {
      uint32_t bit;
      if (!bits.take(1, bit)) return -1;
      code |= static_cast<int>(bit);
      const int n = count[len];
      if (code - first < n) return symbols[static_cast<size_t>(index + code - first)];
      index += n;
      first = (first + n) << 1;
      code <<= 1;
    }
    return -1;
  }
};

constexpr uint16_t kLengthBase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                    2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                      33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                      1025, 1537, 2049, 3073, 4097, 6145,  8193,  12289, 16385,
                                      24577};
constexpr uint8_t kDistanceExtra[] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                      6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

bool inflateBlock(Bits& bits, const Code& lit, const Code& dist, Bytes& out) {
  for (;;) {
    const int sym = lit.decode(bits);
    if (sym < 0) return false;
    if (sym < 256) {
      out.push_back(static_cast<uint8_t>(sym));
      continue;
    }
    if (sym == 256) return true;
    const int li = sym - 257;
    if (li >= 29) return false;
    uint32_t extra;
    if (!bits.take(kLengthExtra[li], extra)) return false;
    const size_t length = kLengthBase[li] + extra;
    const int di = dist.decode(bits);
    if (di < 0 || di >= 30 || !bits.take(kDistanceExtra[di], extra)) return false;
    const size_t distance = kDistanceBase[di] + extra;
    if (distance > out.size()) return false;
    for (size_t i = 0; i < length; ++i) out.push_back(out[out.size() - distance]);
  }
}

bool dynamicCodes(Bits& bits, Code& lit, Code& dist) {
  uint32_t hlit, hdist, hclen;
  if (!bits.take(5, hlit) || !bits.take(5, hdist) || !bits.take(4, hclen)) return false;
  hlit += 257;
  hdist += 1;
  hclen += 4;
  static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                         11, 4,  12, 3, 13, 2, 14, 1, 15};
  uint8_t lengthLengths[19] = {};
  for (uint32_t i = 0; i < hclen; ++i) {
    uint32_t v;
    if (!bits.take(3, v)) return false;
    lengthLengths[kOrder[i]] = static_cast<uint8_t>(v);
  }
  Code lengthCode;
  if (!lengthCode.build(lengthLengths, 19)) return false;
  uint8_t lengths[320] = {};
  for (uint32_t i = 0; i < hlit + hdist;) {
    const int sym = lengthCode.decode(bits);
    if (sym < 0) return false;
    if (sym < 16) {
      lengths[i++] = static_cast<uint8_t>(sym);
      continue;
    }
    uint32_t repeat;
    uint8_t value = 0;
    if (sym == 16) {
      if (i == 0 || !bits.take(2, repeat)) return false;
      value = lengths[i - 1];
      repeat += 3;
    } else if (sym == 17) {
      if (!bits.take(3, repeat)) return false;
      repeat += 3;
    } else {
      if (!bits.take(7, repeat)) return false;
      repeat += 11;
    }
    if (i + repeat > hlit + hdist) return false;
    while (repeat--) lengths[i++] = value;
  }
  return lit.build(lengths, static_cast<int>(hlit)) &&
         dist.build(lengths + hlit, static_cast<int>(hdist));
}

// A zlib stream, its check sum included.
bool inflate(const Bytes& in, Bytes& out) {
  if (in.size() < 6 || (in[0] & 0x0F) != 8 || ((in[0] << 8) | in[1]) % 31 != 0 || (in[1] & 0x20))
    return false;
  Bits bits(in.data() + 2, in.size() - 2);
  uint32_t last = 0;
  while (!last) {
    uint32_t type;
    if (!bits.take(1, last) || !bits.take(2, type)) return false;
    if (type == 0) {
      bits.toByte();
      uint8_t b[4];
      for (uint8_t& x : b)
        if (!bits.byte(x)) return false;
      const unsigned len = b[0] | b[1] << 8, nlen = b[2] | b[3] << 8;
      if ((len ^ 0xFFFF) != nlen) return false;
      for (unsigned i = 0; i < len; ++i) {
        uint8_t x;
        if (!bits.byte(x)) return false;
        out.push_back(x);
      }
    } else if (type == 1) {
      static const auto fixed = [] {
        std::pair<Code, Code> c;
        uint8_t l[288];
        for (int i = 0; i < 288; ++i) l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        c.first.build(l, 288);
        uint8_t d[30];
        for (uint8_t& x : d) x = 5;
        c.second.build(d, 30);
        return c;
      }();
      if (!inflateBlock(bits, fixed.first, fixed.second, out)) return false;
    } else if (type == 2) {
      Code lit, dist;
      if (!dynamicCodes(bits, lit, dist) || !inflateBlock(bits, lit, dist, out)) return false;
    } else {
      return false;
    }
  }
  bits.toByte();
  const size_t end = 2 + bits.at();
  return end + 4 <= in.size() && bigEndian(in.data() + end) == adler32(out.data(), out.size());
}

int paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

}  // namespace

std::optional<platform::Bitmap> decode(const std::string& text) {
  const Bytes file(text.begin(), text.end());
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (file.size() < 8 || !std::equal(kSignature, kSignature + 8, file.begin())) return std::nullopt;
  uint32_t width = 0, height = 0;
  int depth = 0, colour = -1;
  Bytes palette, packed;
  bool ended = false;
  for (size_t at = 8; !ended;) {
    if (at + 12 > file.size()) return std::nullopt;
    const uint32_t length = bigEndian(&file[at]);
    if (length > file.size() - at - 12) return std::nullopt;
    const uint8_t* type = &file[at + 4];
    const uint8_t* data = type + 4;
    if (crc32(type, length + 4) != bigEndian(data + length)) return std::nullopt;
    const std::string name(type, type + 4);
    if (name == "IHDR") {
      if (length != 13 || data[10] != 0 || data[11] != 0 || data[12] != 0) return std::nullopt;
      width = bigEndian(data);
      height = bigEndian(data + 4);
      depth = data[8];
      colour = data[9];
    } else if (name == "PLTE") {
      palette.assign(data, data + length);
    } else if (name == "IDAT") {
      packed.insert(packed.end(), data, data + length);
    } else if (name == "IEND") {
      ended = true;
    }
    at += 12 + length;
  }
  static constexpr int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
  if (colour < 0 || colour > 6 || kChannels[colour] == 0 || width == 0 || height == 0 ||
      width > 1u << 14 || height > 1u << 14)
    return std::nullopt;
  const int channels = kChannels[colour];
  const bool depthOk = depth == 8 || (depth == 16 && colour != 3) ||
                       ((depth == 1 || depth == 2 || depth == 4) && (colour == 0 || colour == 3));
  if (!depthOk || (colour == 3 && palette.empty())) return std::nullopt;
  const size_t bitsPerPixel = static_cast<size_t>(channels) * depth;
  const size_t stride = (width * bitsPerPixel + 7) / 8;
  const size_t step = std::max<size_t>(1, bitsPerPixel / 8);
  Bytes raw;
  if (!inflate(packed, raw) || raw.size() < (stride + 1) * height) return std::nullopt;
  Bytes rows(stride * height);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t filter = raw[y * (stride + 1)];
    const uint8_t* in = &raw[y * (stride + 1) + 1];
    uint8_t* row = &rows[y * stride];
    const uint8_t* up = y ? row - stride : nullptr;
    for (size_t i = 0; i < stride; ++i) {
      const int a = i >= step ? row[i - step] : 0, b = up ? up[i] : 0,
                c = up && i >= step ? up[i - step] : 0;
      int v = in[i];
      switch (filter) {
        case 0: break;
        case 1: v += a; break;
        case 2: v += b; break;
        case 3: v += (a + b) / 2; break;
        case 4: v += paeth(a, b, c); break;
        default: return std::nullopt;
      }
      row[i] = static_cast<uint8_t>(v);
    }
  }
  // One sample: its high byte for 16 bits, scaled up to 8 bits for grey of fewer.
  auto sample = [&](const uint8_t* row, size_t index) -> int {
    if (depth == 8) return row[index];
    if (depth == 16) return row[index * 2];
    const size_t bit = index * depth;
    const int v = (row[bit / 8] >> (8 - depth - bit % 8)) & ((1 << depth) - 1);
    return colour == 3 ? v : v * 255 / ((1 << depth) - 1);
  };
  platform::Bitmap b;
  b.width = static_cast<int>(width);
  b.height = static_cast<int>(height);
  b.pixels.resize(static_cast<size_t>(width) * height * 3);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* row = &rows[y * stride];
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t* out = &b.pixels[(static_cast<size_t>(y) * width + x) * 3];
      const size_t first = static_cast<size_t>(x) * channels;
      if (colour == 3) {
        const size_t p = static_cast<size_t>(sample(row, first)) * 3;
        if (p + 3 > palette.size()) return std::nullopt;
        for (int k = 0; k < 3; ++k) out[k] = palette[p + k];
      } else if (colour == 0 || colour == 4) {
        out[0] = out[1] = out[2] = static_cast<uint8_t>(sample(row, first));
      } else {
        for (int k = 0; k < 3; ++k) out[k] = static_cast<uint8_t>(sample(row, first + k));
      }
    }
  }
  return b;
}

std::string encode(const platform::Bitmap& b) {
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto put32 = [](Bytes& to, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) to.push_back(static_cast<uint8_t>(v >> s));
  };
  auto chunk = [&](const char* type, const Bytes& data) {
    put32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32(out, crc32(&out[start], data.size() + 4));
  };
  Bytes header;
  put32(header, static_cast<uint32_t>(b.width));
  put32(header, static_cast<uint32_t>(b.height));
  header.insert(header.end(), {8, 2, 0, 0, 0});
  chunk("IHDR", header);
  Bytes raw;
  const size_t rowBytes = static_cast<size_t>(b.width) * 3;
  for (int y = 0; y < b.height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), b.pixels.begin() + static_cast<long>(y * rowBytes),
               b.pixels.begin() + static_cast<long>((y + 1) * rowBytes));
  }
  Bytes z = {0x78, 0x01};
  for (size_t at = 0; at < raw.size() || at == 0;) {
    const size_t n = std::min<size_t>(65535, raw.size() - at);
    const bool last = at + n == raw.size();
    z.push_back(last ? 1 : 0);
    z.insert(z.end(), {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                       static_cast<uint8_t>(~n), static_cast<uint8_t>(~n >> 8)});
    z.insert(z.end(), raw.begin() + static_cast<long>(at), raw.begin() + static_cast<long>(at + n));
    at += n;
    if (last) break;
  }
  put32(z, adler32(raw.data(), raw.size()));
  chunk("IDAT", z);
  chunk("IEND", {});
  return std::string(out.begin(), out.end());
}

}  // namespace testkit::png
