#include "platform/media.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "tests/testkit.h"

using namespace platform;

namespace {

// A backend that keeps what the devices were asked to do.
struct Backend : MediaBackend {
  struct Dev : MidiDevice {
    std::string* log;
    std::string state = "stopped";
    explicit Dev(std::string* l) : log(l) {}
    ~Dev() override { *log += "release;"; }
    void play() override {
      state = "playing";
      *log += "play;";
    }
    void pause() override {
      state = "paused";
      *log += "pause;";
    }
    void stop() override {
      state = "stopped";
      *log += "stop;";
    }
    void seekToStart() override { *log += "seek;"; }
    std::string mode() override { return state; }
  };
  std::string log;
  bool refuse = false;
  std::unique_ptr<MidiDevice> openSequencer(const std::string& path, std::string& why) override {
    if (refuse) {
      why = "no synthesizer";
      return nullptr;
    }
    log += "open " + path.substr(path.find_last_of("/\\") + 1) + ";";
    return std::make_unique<Dev>(&log);
  }
  bool playWave(const std::string& path) override {
    log += "wave " + path.substr(path.find_last_of("/\\") + 1) + ";";
    return true;
  }
};

TEST(Media, CommandStringTable) {
  testkit::AppFolder folder;
  const std::string root = folder.path().string();
  const std::string song = root + "\\sound\\bgm_e.mid";
  folder.write("with blank.mid", "MThd");
  Backend be;
  Media m(be);
  struct Row {
    std::string cmd;
    uint32_t rc;
    std::string reply;   // for status
    std::string device;  // what the backend saw, appended
  } rows[] = {
      {"status Midi mode", mcierr::kUnknownDevice, "", ""},
      {"Stop Midi", mcierr::kUnknownDevice, "", ""},
      {"Open \"" + root + "/nothing.mid\" alias Midi", mcierr::kFileNotFound, "", ""},
      {"Open \"" + root + "/sound/get.wav\" alias Midi", mcierr::kUnknownType, "", ""},
      {"Open \"" + song, mcierr::kMalformed, "", ""},
      {"Open \"" + song + "\" alias Midi", mcierr::kOk, "", "open bgm_e.mid;"},
      {"open \"" + song + "\" alias midi", mcierr::kAliasInUse, "", ""},
      {"status Midi mode", mcierr::kOk, "stopped", ""},
      {"SEEK midi TO START", mcierr::kOk, "", "seek;"},
      {"Play Midi", mcierr::kOk, "", "play;"},
      {"status Midi mode", mcierr::kOk, "playing", ""},
      {"Pause Midi", mcierr::kOk, "", "pause;"},
      {"status Midi mode", mcierr::kOk, "paused", ""},
      {"status Midi position", mcierr::kBadParameter, "", ""},
      {"Seek Midi to End", mcierr::kBadParameter, "", ""},
      {"Play Midi loudly", mcierr::kBadParameter, "", ""},
      {"Rewind Midi", mcierr::kUnknownCommand, "", ""},
      {"", mcierr::kUnknownCommand, "", ""},
      {"Play", mcierr::kMissingParameter, "", ""},
      {"Play Other", mcierr::kUnknownDevice, "", ""},
      {"Stop Midi", mcierr::kOk, "", "stop;"},
      {"Close Midi", mcierr::kOk, "", "stop;release;"},
      {"Close Midi", mcierr::kUnknownDevice, "", ""},
      {"Open \"" + root + "/with blank.mid\" alias Midi", mcierr::kOk, "", "open with blank.mid;"},
  };
  for (const Row& r : rows) {
    char reply[16];
    std::memset(reply, 'x', sizeof reply);
    size_t before = be.log.size();
    EXPECT_EQ(m.sendString(r.cmd.c_str(), reply, 16, 0), r.rc) << r.cmd;
    if (r.rc == mcierr::kOk) {
      EXPECT_EQ(std::string(reply), r.reply) << r.cmd;
    }
    EXPECT_EQ(be.log.substr(before), r.device) << r.cmd;
  }
}

TEST(Media, RepliesFitTheBufferAndFailuresChangeNothing) {
  testkit::AppFolder folder;
  Backend be;
  Media m(be);
  const std::string open = "open \"" + folder.file("sound/bgm_n.mid").string() + "\" alias Midi";
  ASSERT_EQ(m.sendString(open.c_str(), nullptr, 0, 0), mcierr::kOk);
  char small[4];
  EXPECT_EQ(m.sendString("status Midi mode", small, 4, 0), mcierr::kOk);
  EXPECT_STREQ(small, "sto");  // cut to the length, NUL-terminated
  EXPECT_EQ(m.sendString("status Midi mode", nullptr, 0, 0), mcierr::kOk);
  EXPECT_EQ(m.sendString(nullptr, nullptr, 0, 0), mcierr::kUnknownCommand);
  be.refuse = true;
  const std::string other = "open \"" + folder.file("sound/bgm_e.mid").string() + "\" alias Other";
  EXPECT_EQ(m.sendString(other.c_str(), nullptr, 0, 0), mcierr::kCannotOpen);
  EXPECT_FALSE(m.isOpen("Other"));
  EXPECT_TRUE(m.isOpen("midi"));
  // Waves: the game's backslash paths reach the backend as native paths.
  EXPECT_TRUE(m.playSound((folder.path().string() + "\\sound\\get.wav").c_str(), 1));
  EXPECT_NE(be.log.find("wave get.wav;"), std::string::npos);
  EXPECT_FALSE(m.playSound(nullptr, 1));
}

}  // namespace
