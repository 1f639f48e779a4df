#include "platform/midi.h"

#include <algorithm>

namespace platform {
namespace {

__extension__ typedef __int128 Wide;

constexpr size_t kMaxFile = 16u << 20;
constexpr size_t kMaxEvents = 2'000'000;
constexpr int kMaxTracks = 256;

struct Reader {
  const uint8_t* p;
  const uint8_t* end;
  bool ok = true;
  size_t left() const { return static_cast<size_t>(end - p); }
  uint8_t byte() {
    if (p >= end) {
      ok = false;
      return 0;
    }
    return *p++;
  }
  uint32_t be(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | byte();
    return v;
  }
  uint32_t vlq() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      uint8_t b = byte();
      v = (v << 7) | (b & 0x7F);
      if (!(b & 0x80)) return v;
    }
    ok = false;  // longer than four bytes
    return 0;
  }
  void skip(size_t n) {
    if (n > left()) {
      ok = false;
      p = end;
    } else {
      p += n;
    }
  }
};

struct Timed {
  int64_t tick;
  uint32_t order;
  bool tempo;
  uint32_t tempoValue;
  uint8_t status, d1, d2;
};

int dataBytes(uint8_t status) {
  switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
      return 1;
    default:
      return 2;
  }
}

}  // namespace

int64_t midiTicksToUs(int64_t ticks, int64_t tempo, int division) {
  return static_cast<int64_t>((static_cast<Wide>(ticks) * tempo) / division);
}

bool parseMidi(const uint8_t* data, size_t size, MidiSong& song, std::string& error) {
  song = {};
  if (!data || size < 14) return error = "too short for a MIDI file", false;
  if (size > kMaxFile) return error = "larger than 16 MB", false;
  Reader r{data, data + size};
  if (r.be(4) != 0x4D546864) return error = "not a MIDI file (no MThd)", false;
  uint32_t headerLen = r.be(4);
  if (headerLen < 6 || headerLen > r.left()) return error = "bad header length", false;
  const uint8_t* headerEnd = r.p + headerLen;
  const int format = static_cast<int>(r.be(2));
  const int tracks = static_cast<int>(r.be(2));
  const uint16_t division = static_cast<uint16_t>(r.be(2));
  r.p = headerEnd;
  if (format > 2) return error = "unknown format", false;
  if (tracks < 1 || tracks > kMaxTracks) return error = "bad track count", false;
  if (division == 0) return error = "bad time division", false;

  std::vector<Timed> all;
  int64_t endTick = 0;
  uint32_t order = 0;
  int found = 0;
  while (found < tracks && r.left() >= 8) {
    uint32_t id = r.be(4), len = r.be(4);
    if (len > r.left()) return error = "track longer than the file", false;
    if (id != 0x4D54726B) {  // not MTrk: skip unknown chunks
      r.skip(len);
      continue;
    }
    ++found;
    Reader t{r.p, r.p + len};
    r.skip(len);
    int64_t tick = 0;
    uint8_t running = 0;
    bool ended = false;
    while (t.left() > 0 && !ended) {
      tick += t.vlq();
      if (tick > (int64_t{1} << 40)) return error = "song too long", false;
      uint8_t b = t.byte();
      if (b == 0xFF) {
        uint8_t type = t.byte();
        uint32_t mlen = t.vlq();
        if (!t.ok || mlen > t.left()) return error = "truncated meta event", false;
        if (type == 0x51 && mlen == 3) {
          uint32_t tempo = (uint32_t{t.p[0]} << 16) | (uint32_t{t.p[1]} << 8) | t.p[2];
          if (tempo == 0) return error = "zero tempo", false;
          all.push_back({tick, order++, true, tempo, 0, 0, 0});
        } else if (type == 0x2F) {
          ended = true;
        }
        t.skip(mlen);
        running = 0;
      } else if (b == 0xF0 || b == 0xF7) {
        uint32_t slen = t.vlq();
        t.skip(slen);
        running = 0;
      } else if (b >= 0xF0) {
        return error = "system message inside a track", false;
      } else {
        uint8_t status = b;
        uint8_t d1;
        if (b < 0x80) {
          if (!running) return error = "running status without a status", false;
          status = running;
          d1 = b;
        } else {
          d1 = t.byte();
        }
        running = status;
        uint8_t d2 = dataBytes(status) == 2 ? t.byte() : 0;
        if ((d1 | d2) & 0x80) return error = "bad data byte", false;
        all.push_back({tick, order++, false, 0, status, d1, d2});
      }
      if (!t.ok) return error = "truncated track", false;
      if (all.size() > kMaxEvents) return error = "too many events", false;
    }
    endTick = std::max(endTick, tick);
  }
  if (found == 0) return error = "no track", false;

  std::stable_sort(all.begin(), all.end(), [](const Timed& a, const Timed& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });

  // Ticks to microseconds. SMPTE time has no tempo: a fixed number of ticks per second.
  const bool smpte = division & 0x8000;
  const int64_t ticksPerSecond =
      smpte ? int64_t{-static_cast<int8_t>(division >> 8)} * (division & 0xFF) : 0;
  if (smpte && ticksPerSecond <= 0) return error = "bad SMPTE division", false;
  Wide base = 0;  // in tick * tempo units (metrical) up to segmentTick
  int64_t segmentTick = 0;
  int64_t tempo = 500000;
  auto timeOf = [&](int64_t tick) -> int64_t {
    if (smpte) return static_cast<int64_t>(static_cast<Wide>(tick) * 1000000 / ticksPerSecond);
    return static_cast<int64_t>((base + static_cast<Wide>(tick - segmentTick) * tempo) / division);
  };
  song.events.reserve(all.size());
  for (const Timed& e : all) {
    if (e.tempo) {
      base += static_cast<Wide>(e.tick - segmentTick) * tempo;
      segmentTick = e.tick;
      tempo = e.tempoValue;
      continue;
    }
    song.events.push_back({timeOf(e.tick), e.status, e.d1, e.d2});
  }
  song.endUs = timeOf(endTick);
  return true;
}

}  // namespace platform
