#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// A channel message of a Standard MIDI File at its time from the start of the song.
struct MidiEvent {
  int64_t timeUs;
  uint8_t status;  // 0x80..0xEF
  uint8_t data1;
  uint8_t data2;
};

struct MidiSong {
  std::vector<MidiEvent> events;  // in time order; events of one time keep their file order
  int64_t endUs = 0;  // the time of the file's last event (the end of its longest track)
};

// Reads a Standard MIDI File of format 0 or 1 (or 2, played as one): running status, tempo
// changes, metrical or SMPTE time; other meta events and system-exclusive messages are skipped.
// Returns false, with a reason, for anything malformed or beyond sane limits.
bool parseMidi(const uint8_t* data, size_t size, MidiSong& song, std::string& error);

// Times are exact: a tick's time is the sum of its tempo segments, rounded down once at the end.
int64_t midiTicksToUs(int64_t ticks, int64_t tempoUsPerQuarter, int division);

}  // namespace platform
