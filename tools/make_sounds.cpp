// Writes the game's music and effects into the given folder: four Standard MIDI Files composed
// here as note tables, and three wave files synthesised here. Run by the build.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// ---- MIDI writing ----

struct Note {
  double beat;  // start, in quarter notes from the start of the tune
  double length;
  int channel, key, velocity;
};

struct Tune {
  const char* file;
  int bpm;
  int bars;
  int melodyProgram, padProgram, bassProgram;
  std::vector<Note> notes;
};

void vlq(std::string& out, uint32_t v) {
  char buf[5];
  int n = 0;
  buf[n++] = static_cast<char>(v & 0x7F);
  while (v >>= 7) buf[n++] = static_cast<char>(0x80 | (v & 0x7F));
  while (n) out += buf[--n];
}

void be(std::string& out, uint32_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// One track (format 0) with running status where it applies.
std::string smf(const Tune& t) {
  constexpr int kDivision = 480;
  struct Ev {
    uint32_t tick;
    int order;
    std::string bytes;
  };
  std::vector<Ev> evs;
  int order = 0;
  auto add = [&](uint32_t tick, std::string b) { evs.push_back({tick, order++, std::move(b)}); };
  std::string tempo = "\xFF\x51\x03";
  be(tempo, 60000000 / t.bpm, 3);
  add(0, tempo);
  add(0, std::string("\xFF\x58\x04\x04\x02\x18\x08", 7));  // 4/4
  auto msg = [](int status, int a, int b, bool two = true) {
    std::string s;
    s += static_cast<char>(status);
    s += static_cast<char>(a);
    if (two) s += static_cast<char>(b);
    return s;
  };
  add(0, msg(0xC0, t.melodyProgram, 0, false));
  add(0, msg(0xC1, t.padProgram, 0, false));
  add(0, msg(0xC2, t.bassProgram, 0, false));
  add(0, msg(0xB0, 7, 100));
  add(0, msg(0xB1, 7, 70));
  add(0, msg(0xB2, 7, 100));
  add(0, msg(0xB9, 7, 90));
  for (const Note& n : t.notes) {
    const uint32_t on = static_cast<uint32_t>(std::lround(n.beat * kDivision));
    const uint32_t off = static_cast<uint32_t>(std::lround((n.beat + n.length) * kDivision)) - 10;
    add(on, msg(0x90 | n.channel, n.key, n.velocity));
    add(off, msg(0x90 | n.channel, n.key, 0));  // note-on with velocity 0 ends the note
  }
  const uint32_t end = static_cast<uint32_t>(t.bars * 4 * kDivision);
  std::stable_sort(evs.begin(), evs.end(), [](const Ev& a, const Ev& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });
  std::string track;
  uint32_t last = 0;
  int running = 0;
  for (const Ev& e : evs) {
    vlq(track, e.tick - last);
    last = e.tick;
    const int status = static_cast<unsigned char>(e.bytes[0]);
    if (status < 0xF0 && status == running) {
      track += e.bytes.substr(1);
    } else {
      track += e.bytes;
      running = status < 0xF0 ? status : 0;
    }
  }
  vlq(track, end - last);
  track += std::string("\xFF\x2F\x00", 3);
  std::string out = "MThd";
  be(out, 6, 4);
  be(out, 0, 2);
  be(out, 1, 2);
  be(out, kDivision, 2);
  out += "MTrk";
  be(out, static_cast<uint32_t>(track.size()), 4);
  return out + track;
}

// ---- Composing ----

int key(const std::string& name) {
  static const int base[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  int k = base[name[0] - 'A'];
  size_t i = 1;
  if (i < name.size() && name[i] == '#') k += 1, ++i;
  if (i < name.size() && name[i] == 'b') k -= 1, ++i;
  return k + 12 * (std::stoi(name.substr(i)) + 1);
}

// A melody line: "E5:1 G5:0.5 -:0.5 C6:2" (a key and a length in beats; "-" is a rest).
void melody(Tune& t, int channel, int velocity, const std::string& line, double start = 0) {
  std::istringstream in(line);
  std::string tok;
  double beat = start;
  while (in >> tok) {
    auto colon = tok.find(':');
    const double len = std::stod(tok.substr(colon + 1));
    const std::string name = tok.substr(0, colon);
    if (name != "-") t.notes.push_back({beat, len * 0.95, channel, key(name), velocity});
    beat += len;
  }
}

// Chords a bar each, as held pads and a bass figure.
void harmony(Tune& t, const std::vector<std::string>& chords, const std::string& bassFigure) {
  for (size_t bar = 0; bar < chords.size(); ++bar) {
    std::istringstream in(chords[bar]);
    std::vector<int> keys;
    for (std::string k; in >> k;) keys.push_back(key(k));
    const double b0 = 4.0 * bar;
    for (int k : keys) t.notes.push_back({b0, 3.9, 1, k, 52});
    // The bass figure: offsets in beats with a step (r = root, f = fifth, o = octave).
    std::istringstream fig(bassFigure);
    for (std::string step; fig >> step;) {
      auto colon = step.find(':');
      const double at = std::stod(step.substr(1, colon - 1));
      const double len = std::stod(step.substr(colon + 1));
      int root = keys[0] - 12;
      while (root > key("E3")) root -= 12;
      int k = step[0] == 'r' ? root : step[0] == 'f' ? root + 7 : root + 12;
      t.notes.push_back({b0 + at, len, 2, k, 90});
    }
  }
}

// Drums on channel 10: a pattern of one bar, each hit "k0" (kick at beat 0), "s1", "h0.5" ...
void drums(Tune& t, const std::string& pattern, int bars) {
  for (int bar = 0; bar < bars; ++bar) {
    std::istringstream in(pattern);
    for (std::string hit; in >> hit;) {
      const int k = hit[0] == 'k' ? 36 : hit[0] == 's' ? 38 : hit[0] == 'h' ? 42 : 49;
      const int v = hit[0] == 'h' ? 60 : 96;
      t.notes.push_back({4.0 * bar + std::stod(hit.substr(1)), 0.25, 9, k, v});
    }
  }
}

std::vector<Tune> compose() {
  std::vector<Tune> tunes;
  {  // Easy: a gentle flute song in C, at a walking pace.
    Tune t{"bgm_e.mid", 100, 6, 73, 89, 32, {}};
    melody(t, 0, 84,
           "E5:1 G5:1 C6:1.5 B5:0.5  A5:2 E5:2  F5:1 A5:1 C6:1 A5:1  G5:3 -:1 "
           "E5:1 G5:1 A5:1 G5:1  D5:2 B4:1 -:1");
    harmony(t, {"C4 E4 G4", "A3 C4 E4", "F3 A3 C4", "G3 B3 D4", "C4 E4 G4", "G3 B3 D4"},
            "r0:1.5 f2:1.5");
    drums(t, "k0 h1 s2 h3", 6);
    tunes.push_back(t);
  }
  {  // Normal: a cheerful piano tune in F with a bouncing bass.
    Tune t{"bgm_n.mid", 120, 7, 0, 48, 33, {}};
    melody(t, 0, 92,
           "C5:0.5 F5:0.5 A5:0.5 C6:0.5 A5:1 F5:1  E5:0.5 G5:0.5 C6:1 G5:1 E5:1 "
           "D5:0.5 F5:0.5 A5:1 D6:1 A5:1  Bb4:0.5 D5:0.5 F5:1 Bb5:1 -:1 "
           "A5:0.5 G5:0.5 F5:0.5 A5:0.5 C6:2  G5:0.5 A5:0.5 Bb5:0.5 G5:0.5 E5:2  F5:3 -:1");
    harmony(t,
            {"F3 A3 C4", "C4 E4 G4", "D4 F4 A4", "Bb3 D4 F4", "F3 A3 C4", "C4 E4 G4", "F3 A3 C4"},
            "r0:0.5 o1:0.5 f2:0.5 o3:0.5");
    drums(t, "k0 h0.5 s1 h1.5 k2 h2.5 s3 h3.5", 7);
    tunes.push_back(t);
  }
  {  // Hard: a minor square-wave line in A over a driving eighth-note bass.
    Tune t{"bgm_h.mid", 144, 8, 80, 50, 38, {}};
    melody(t, 0, 96,
           "A5:0.5 E5:0.5 A5:0.5 C6:0.5 B5:1 A5:1  F5:0.5 A5:0.5 C6:1 A5:1 F5:1 "
           "G5:0.5 B5:0.5 D6:1 B5:1 G5:1  G#5:1 E5:1 B4:1 E5:1 "
           "A5:0.5 C6:0.5 E6:1 D6:0.5 C6:0.5 B5:1  C6:0.5 A5:0.5 F5:1 A5:0.5 C6:0.5 F6:1 "
           "D6:0.5 B5:0.5 G5:1 B5:1 D6:1  E6:2 G#5:1 -:1");
    harmony(t,
            {"A3 C4 E4", "F3 A3 C4", "G3 B3 D4", "E3 G#3 B3", "A3 C4 E4", "F3 A3 C4", "G3 B3 D4",
             "E3 G#3 B3"},
            "r0:0.5 r0.5:0.5 r1:0.5 r1.5:0.5 o2:0.5 r2.5:0.5 f3:0.5 r3.5:0.5");
    drums(t, "k0 h0.5 s1 h1.5 k2 k2.5 s3 h3.5", 8);
    tunes.push_back(t);
  }
  {  // Difficult: a fast sawtooth chase in E minor, with sixteenth-note hats.
    Tune t{"bgm_d.mid", 176, 8, 81, 50, 38, {}};
    melody(t, 0, 100,
           "E5:0.5 G5:0.5 B5:0.5 E6:0.5 D6:0.5 B5:0.5 G5:0.5 B5:0.5 "
           "C6:0.5 E6:0.5 G6:0.5 E6:0.5 C6:1 G5:1 "
           "D6:0.5 F#6:0.5 A6:0.5 F#6:0.5 D6:1 A5:1  B5:0.5 D#6:0.5 F#6:0.5 B6:0.5 F#6:2 "
           "G6:0.5 F#6:0.5 E6:0.5 B5:0.5 G5:0.5 B5:0.5 E6:1  E6:0.5 D6:0.5 C6:0.5 G5:0.5 E5:0.5 "
           "G5:0.5 C6:1 "
           "D6:0.5 C6:0.5 B5:0.5 A5:0.5 F#5:1 D6:1  D#6:1 F#6:1 B6:1 -:1");
    harmony(t,
            {"E3 G3 B3", "C4 E4 G4", "D4 F#4 A4", "B3 D#4 F#4", "E3 G3 B3", "C4 E4 G4", "D4 F#4 A4",
             "B3 D#4 F#4"},
            "r0:0.5 o0.5:0.5 r1:0.5 o1.5:0.5 r2:0.5 o2.5:0.5 f3:0.5 o3.5:0.5");
    std::string hats;
    for (int i = 0; i < 16; ++i) hats += " h" + std::to_string(i * 0.25);
    drums(t, "k0 s1 k2 k2.5 s3" + hats, 8);
    tunes.push_back(t);
  }
  return tunes;
}

// ---- Waves ----

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

double hz(int midiKey) {
  return 440.0 * std::pow(2.0, (midiKey - 69) / 12.0);
}

void writeWav(const std::string& path, const std::vector<double>& s) {
  std::string out = "RIFF";
  auto le = [&](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  const uint32_t data = static_cast<uint32_t>(s.size() * 2);
  le(36 + data, 4);
  out += "WAVEfmt ";
  le(16, 4);
  le(1, 2);  // PCM
  le(1, 2);  // mono
  le(kRate, 4);
  le(kRate * 2, 4);
  le(2, 2);
  le(16, 2);
  out += "data";
  le(data, 4);
  for (double v : s) {
    const double c = std::max(-1.0, std::min(1.0, v));
    le(static_cast<uint32_t>(static_cast<int16_t>(std::lround(c * 32000))) & 0xFFFF, 2);
  }
  std::ofstream(path, std::ios::binary) << out;
}

// A tone with a quick attack and an exponential fade, with a few harmonics.
void tone(std::vector<double>& s, double start, double length, double f, double level, double decay,
          double brightness) {
  const size_t a = static_cast<size_t>(start * kRate), n = static_cast<size_t>(length * kRate);
  if (s.size() < a + n) s.resize(a + n, 0.0);
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double env =
        std::min(1.0, t / 0.004) * std::exp(-t * decay) * std::min(1.0, (length - t) / 0.01);
    const double w = std::sin(2 * kPi * f * t) + brightness * std::sin(4 * kPi * f * t) / 2 +
                     brightness * brightness * std::sin(6 * kPi * f * t) / 3;
    s[a + i] += level * env * w;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sounds FOLDER\n");
    return 2;
  }
  const std::string dir = argv[1];
  for (const Tune& t : compose()) std::ofstream(dir + "/" + t.file, std::ios::binary) << smf(t);

  std::vector<double> get;  // a bright rising three-note flick
  tone(get, 0.00, 0.08, hz(84), 0.45, 18, 0.6);
  tone(get, 0.05, 0.08, hz(88), 0.45, 18, 0.6);
  tone(get, 0.10, 0.14, hz(91), 0.50, 14, 0.6);
  writeWav(dir + "/get.wav", get);

  std::vector<double> wait;  // a neutral two-tone chime
  tone(wait, 0.00, 0.35, hz(79), 0.45, 7, 0.25);
  tone(wait, 0.16, 0.45, hz(72), 0.45, 6, 0.25);
  writeWav(dir + "/wait.wav", wait);

  std::vector<double> end;  // a falling phrase
  const int phrase[] = {79, 76, 72, 67, 64, 60};
  for (int i = 0; i < 6; ++i)
    tone(end, 0.16 * i, i == 5 ? 0.9 : 0.3, hz(phrase[i]), 0.4, i == 5 ? 3 : 6, 0.4);
  writeWav(dir + "/end.wav", end);
  return 0;
}
