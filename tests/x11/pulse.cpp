#include "tests/x11/pulse.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <queue>
#include <sstream>

namespace fs = std::filesystem;

namespace xdriver {
namespace {

double seconds(Clock::time_point t) {
  return std::chrono::duration<double>(t.time_since_epoch()).count();
}

bool onPath(const char* program) {
  const char* path = std::getenv("PATH");
  std::istringstream in(path ? path : "");
  for (std::string d; std::getline(in, d, ':');)
    if (::access((d + "/" + program).c_str(), X_OK) == 0) return true;
  return false;
}

}  // namespace

PulseServer::PulseServer() {
  const char* other = std::getenv("MOROFIN_TEST_SOUND_SERVER");
  const char* otherPid = std::getenv("MOROFIN_TEST_SOUND_SERVER_PID");
  if (other && *other) {
    address_ = other;
    ours_ = false;
    pid_ = otherPid ? std::atoi(otherPid) : 0;
    if (pid_ <= 0) why_ = "MOROFIN_TEST_SOUND_SERVER_PID is not set";
    return;
  }
  if (!onPath("pulseaudio") || !onPath("parec") || !onPath("pacat") || !onPath("pactl")) {
    why_ =
        "pulseaudio, parec, pacat or pactl is not installed (tools/install-deps.sh installs them)";
    return;
  }
  std::string tmpl = (fs::temp_directory_path() / "morofin-pulse-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) {
    why_ = "mkdtemp";
    return;
  }
  dir_ = tmpl;
  address_ = "unix:" + dir_ + "/native";
  launch();
}

bool PulseServer::launch() {
  if (!ours_) return launchPipewirePulse();
  const std::string log = dir_ + "/log", socket = dir_ + "/native";
  pid_ = ::fork();
  if (pid_ == 0) {
    int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(fd, 1);
    ::dup2(fd, 2);
    ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    ::setenv("HOME", dir_.c_str(), 1);
    const std::string native = "module-native-protocol-unix auth-anonymous=1 socket=" + socket;
    // As root (CI) the daemon only warns that it is meant for one user's session: this is one.
    ::execlp("pulseaudio", "pulseaudio", "--daemonize=no", "-n", "--exit-idle-time=-1",
             "--use-pid-file=no", "--disable-shm=yes", "--log-target=stderr", "--log-level=error",
             "-L", "module-null-sink sink_name=morofin rate=44100", "-L", native.c_str(),
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const std::string probe = "pactl -s " + address() + " info >/dev/null 2>&1";
  for (int i = 0; i < 100; ++i) {
    if (fs::exists(socket) && std::system(probe.c_str()) == 0) return true;
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::ifstream f(log);
  std::getline(f, why_, '\0');
  why_ = "pulseaudio did not start: " + why_;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
  return false;
}

// PipeWire's pulse server started again beside the PipeWire that tools/with-pipewire.sh runs (its
// environment is ours), with the null sink made anew: it went with the server that made it.
bool PulseServer::launchPipewirePulse() {
  pid_ = ::fork();
  if (pid_ == 0) {
    int fd = ::open("/dev/null", O_WRONLY);
    ::dup2(fd, 1);
    ::dup2(fd, 2);
    ::execlp("pipewire-pulse", "pipewire-pulse", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  restarted_ = true;
  const std::string pactl = "pactl -s " + address() + " ";
  bool up = false;
  for (int i = 0; i < 200 && !up; ++i) {
    up = std::system((pactl + "info >/dev/null 2>&1").c_str()) == 0;
    if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!up ||
      std::system((pactl + "load-module module-null-sink sink_name=morofin rate=44100 >/dev/null")
                      .c_str()) != 0)
    return why_ = "pipewire-pulse did not start again", false;
  for (int i = 0; i < 200; ++i) {
    if (std::system((pactl + "info 2>/dev/null | grep -q '^Default Sink: morofin$'").c_str()) == 0)
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return why_ = "the null sink is not the default", false;
}

void PulseServer::crash() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  if (ours_ || restarted_) {
    ::waitpid(pid_, nullptr, 0);
  } else {
    // Another's child: gone once it is a zombie.
    for (int i = 0; i < 200; ++i) {
      std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
      std::string text;
      std::getline(stat, text);
      const size_t close = text.rfind(')');
      if (close == std::string::npos || text.compare(close + 2, 1, "Z") == 0) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  pid_ = 0;
}

PulseServer::~PulseServer() {
  if (pid_ > 0 && (ours_ || restarted_)) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  if (!dir_.empty()) {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
}

std::vector<std::string> PulseServer::env() const {
  return {"PULSE_SERVER=" + address(), "SDL_AUDIODRIVER=pulseaudio"};
}

int PulseServer::streams(pid_t of) const {
  const std::string cmd = "pactl -s " + address() + " list sink-inputs 2>/dev/null";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return -1;
  std::string text;
  for (int c; (c = std::fgetc(p)) != EOF;) text += static_cast<char>(c);
  ::pclose(p);
  int playing = 0;
  const std::string owner = "application.process.id = \"" + std::to_string(of) + "\"";
  for (size_t at = 0; (at = text.find("Sink Input #", at)) != std::string::npos; ++at) {
    const std::string one = text.substr(at, text.find("Sink Input #", at + 1) - at);
    playing += one.find(owner) != std::string::npos && one.find("Corked: no") != std::string::npos;
  }
  return playing;
}

double cpuSeconds(pid_t pid) {
  double ns = 0;
  std::error_code ec;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    std::ifstream f(task.path() / "schedstat");
    double run = 0;
    if (f >> run) ns += run;
  }
  return ns / 1e9;
}

double PulseServer::cpuSeconds() const {
  return xdriver::cpuSeconds(pid_);
}

Monitor::Monitor(const PulseServer& server) {
  int pipeFd[2];
  if (!server.ok() || ::pipe(pipeFd) != 0) return;
  const std::string address = server.address();
  // A null sink with nothing playing hands its monitor little or nothing; a stream of silence
  // keeps it rendering in real time, so every recorded frame has its moment.
  filler_ = ::fork();
  if (filler_ == 0) {
    int zero = ::open("/dev/zero", O_RDONLY);
    ::dup2(zero, 0);
    ::execlp("pacat", "pacat", "-s", address.c_str(), "-d", "morofin", "--raw", "--format=s16le",
             "--rate=44100", "--channels=2", "--latency-msec=20",
             "--client-name=morofin-test-silence", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(pipeFd[1], 1);
    ::close(pipeFd[0]);
    ::execlp("parec", "parec", "-s", address.c_str(), "-d", "morofin.monitor", "--format=float32le",
             "--rate=44100", "--channels=2", "--latency-msec=2", "--raw",
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(pipeFd[1]);
  fd_ = pipeFd[0];
  reader_ = std::thread([this] { read(); });
  // An idle null sink sleeps for up to two seconds before it takes up new streams: wait until
  // the recording runs in real time.
  const auto begin = Clock::now();
  int64_t seen = -1;
  for (int steady = 0; steady < 20 && Clock::now() - begin < std::chrono::seconds(6);) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int64_t n = frames();
    steady = n > seen && seen >= 0 ? steady + 1 : 0;
    seen = n;
  }
  // A sink that has just woken may hand over a long block at once, ahead of its time: the clock
  // is set from what comes once it runs steadily.
  std::lock_guard lk(m_);
  t0_ = 1e300;
}

Monitor::~Monitor() {
  for (pid_t p : {pid_, filler_}) {
    if (p <= 0) continue;
    ::kill(p, SIGTERM);
    ::waitpid(p, nullptr, 0);
  }
  if (reader_.joinable()) reader_.join();
  if (fd_ >= 0) ::close(fd_);
  // To look at a failure: the recording as raw float stereo, and when its first frame was heard.
  if (const char* dump = std::getenv("MOROFIN_MONITOR_DUMP")) {
    std::ofstream(std::string(dump) + ".raw", std::ios::binary)
        .write(reinterpret_cast<const char*>(samples_.data()),
               static_cast<std::streamsize>(samples_.size() * sizeof(float)));
    std::ofstream(std::string(dump) + ".t0") << std::fixed << t0_ << "\n";
  }
}

void Monitor::read() {
  std::vector<char> buf(1 << 14);
  std::string partial;
  for (;;) {
    const ssize_t n = ::read(fd_, buf.data(), buf.size());
    if (n <= 0) return;
    const double now = seconds(Clock::now());
    partial.append(buf.data(), static_cast<size_t>(n));
    const size_t whole = partial.size() / 8 * 8;
    std::lock_guard lk(m_);
    const size_t at = samples_.size();
    samples_.resize(at + whole / 4);
    std::memcpy(samples_.data() + at, partial.data(), whole);
    partial.erase(0, whole);
    t0_ = std::min(t0_, now - static_cast<double>(samples_.size() / 2) / kRate);
  }
}

int64_t Monitor::frames() {
  std::lock_guard lk(m_);
  return static_cast<int64_t>(samples_.size() / 2);
}

Clock::time_point Monitor::timeOf(int64_t frame) {
  std::lock_guard lk(m_);
  const double t = t0_ + static_cast<double>(frame) / kRate;
  return Clock::time_point(
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(t)));
}

int64_t Monitor::frameAt(Clock::time_point t) {
  std::lock_guard lk(m_);
  return std::llround((seconds(t) - t0_) * kRate);
}

double Monitor::rms(int64_t from, int64_t n) {
  std::lock_guard lk(m_);
  const int64_t total = static_cast<int64_t>(samples_.size() / 2);
  from = std::max<int64_t>(0, from);
  const int64_t to = std::min(total, from + n);
  double sum = 0;
  for (int64_t i = 2 * from; i < 2 * to; ++i) sum += double(samples_[i]) * samples_[i];
  return to > from ? std::sqrt(sum / double(2 * (to - from))) : 0;
}

int64_t Monitor::firstSound(int64_t from, int64_t within, double level) {
  constexpr int64_t kWindow = kRate / 1000;
  for (int64_t at = std::max<int64_t>(0, from); at < from + within; at += kWindow)
    if (rms(at, kWindow) > level) return at;
  return -1;
}

Monitor::Match Monitor::find(const std::vector<float>& sound, int64_t from, int64_t within) {
  Match best;
  if (sound.empty()) return best;
  std::vector<float> mono;
  {
    std::lock_guard lk(m_);
    const int64_t total = static_cast<int64_t>(samples_.size() / 2);
    from = std::max<int64_t>(0, from);
    const int64_t to = std::min<int64_t>(total, from + within + static_cast<int64_t>(sound.size()));
    for (int64_t i = from; i < to; ++i)
      mono.push_back(0.5f * (samples_[2 * i] + samples_[2 * i + 1]));
  }
  double soundEnergy = 0;
  for (float v : sound) soundEnergy += double(v) * v;
  const size_t n = sound.size();
  if (mono.size() < n || soundEnergy == 0) return best;
  // The recording's energy under the sound, kept up to date as the window slides.
  double energy = 0;
  for (size_t i = 0; i < n; ++i) energy += double(mono[i]) * mono[i];
  for (size_t lag = 0; lag + n <= mono.size(); ++lag) {
    if (lag > 0) {
      energy +=
          double(mono[lag + n - 1]) * mono[lag + n - 1] - double(mono[lag - 1]) * mono[lag - 1];
    }
    double dot = 0;
    for (size_t i = 0; i < n; ++i) dot += double(mono[lag + i]) * sound[i];
    const double score = energy > 0 ? dot / std::sqrt(energy * soundEnergy) : 0;
    if (score > best.score) best = {from + static_cast<int64_t>(lag), score};
  }
  return best;
}

std::vector<float> readMonoWave(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::vector<float> out;
  auto u16 = [&](size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(bytes[at])) |
           static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 8;
  };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
    return out;
  bool pcm16mono = false;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    const std::string id = bytes.substr(at, 4);
    const size_t size = u32(at + 4), body = at + 8;
    if (body + size > bytes.size()) break;
    if (id == "fmt " && size >= 16)
      pcm16mono = u16(body) == 1 && u16(body + 2) == 1 && u16(body + 14) == 16;
    if (id == "data" && pcm16mono) {
      for (size_t i = 0; i + 1 < size; i += 2)
        out.push_back(static_cast<float>(static_cast<int16_t>(u16(body + i))) / 32768.0f);
      return out;
    }
    at = body + size + (size & 1);
  }
  return out;
}

namespace {

bool near(xdriver::Rgb a, xdriver::Rgb b) {
  return std::abs(a.r - b.r) < 8 && std::abs(a.g - b.g) < 8 && std::abs(a.b - b.b) < 8;
}

}  // namespace

bool creatures(Desk& desk, Window g, int& wx, int& wy, int& zx, int& zy) {
  int w = 0, h = 0;
  const auto px = desk.grab(g, w, h);
  std::vector<char> seen(px.size(), 0);
  struct Patch {
    int size;
    long sx, sy;
  };
  std::vector<Patch> found;
  for (int y = 1; y <= 320; ++y)
    for (int x = 1; x <= 640; ++x) {
      const size_t i = static_cast<size_t>(y) * w + x;
      if (seen[i] || !near(px[i], {128, 255, 255})) continue;
      Patch p{0, 0, 0};
      std::queue<std::pair<int, int>> q;
      q.push({x, y});
      seen[i] = 1;
      while (!q.empty()) {
        auto [cx, cy] = q.front();
        q.pop();
        ++p.size, p.sx += cx, p.sy += cy;
        for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
          const int nx = cx + dx, ny = cy + dy;
          const size_t j = static_cast<size_t>(ny) * w + nx;
          if (nx < 1 || ny < 1 || nx > 640 || ny > 320 || seen[j] || !near(px[j], {128, 255, 255}))
            continue;
          seen[j] = 1;
          q.push({nx, ny});
        }
      }
      found.push_back(p);
    }
  std::sort(found.begin(), found.end(), [](auto& a, auto& b) { return a.size > b.size; });
  if (found.size() < 2 || found[0].size < 300 || found[1].size < 20) return false;
  wx = found[0].sx / found[0].size, wy = found[0].sy / found[0].size;
  zx = found[1].sx / found[1].size, zy = found[1].sy / found[1].size;
  return true;
}

void writeLoopTune(const std::string& path, int quarters) {
  const std::string track = std::string("\x00\xC0\x00\x00\x90\x48\x64\x60\x80\x48\x00", 11) +
                            std::string(1, static_cast<char>(0x80 | ((quarters * 480 - 96) >> 7))) +
                            std::string(1, static_cast<char>((quarters * 480 - 96) & 0x7F)) +
                            std::string("\xFF\x2F\x00", 3);
  std::string head("MThd\0\0\0\6\0\0\0\1\x01\xE0MTrk\0\0\0", 21);
  head += static_cast<char>(track.size());
  std::ofstream(path, std::ios::binary) << head << track;
}

Chaser::~Chaser() {
  for (auto& [key, down] : held_)
    if (down) desk_.key(key.c_str(), false);
}

void Chaser::want(const char* key, bool down) {
  if (held_[key] != down) desk_.key(key, down);
  held_[key] = down;
}

void Chaser::step() {
  int wx, wy, zx, zy;
  if (!creatures(desk_, game_, wx, wy, zx, zy)) return;
  want("Left", zx - wx < -3);
  want("Right", zx - wx > 3);
  want("Up", zy - wy < -3);
  want("Down", zy - wy > 3);
}

}  // namespace xdriver
