// Command strings, one a line, into the interpreter over a device that always opens.
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/media.h"

namespace {

struct Dev : platform::MidiDevice {
  std::string m = "stopped";
  void play() override { m = "playing"; }
  void pause() override { m = "paused"; }
  void stop() override { m = "stopped"; }
  void seekToStart() override { m = "stopped"; }
  std::string mode() override { return m; }
};

struct Backend : platform::MediaBackend {
  std::unique_ptr<platform::MidiDevice> openSequencer(const std::string&, std::string&) override {
    return std::make_unique<Dev>();
  }
  bool playWave(const std::string&) override { return true; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Backend b;
  platform::Media m(b);
  std::string all(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  unsigned len = 0;
  while (start <= all.size()) {
    size_t end = all.find('\n', start);
    if (end == std::string::npos) end = all.size();
    std::string cmd = all.substr(start, end - start);
    char reply[17];
    std::memset(reply, 'x', sizeof reply);
    const unsigned given = len++ % 17;
    m.sendString(cmd.c_str(), reply, given, 0);
    if (given > 0 && std::memchr(reply, '\0', given) == nullptr)
      __builtin_trap();                      // not terminated
    if (reply[16] != 'x') __builtin_trap();  // wrote past the length
    m.playSound(cmd.c_str(), 1);
    start = end + 1;
  }
  return 0;
}
