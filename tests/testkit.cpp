#include "tests/testkit.h"

#ifdef _WIN32
#include "platform/utf16_windows.h"
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "screens/pictures.h"

namespace testkit {

namespace fs = std::filesystem;

#ifdef _WIN32
const char* const kPlayerDataVariable = "LOCALAPPDATA";
#else
const char* const kPlayerDataVariable = "XDG_DATA_HOME";
#endif

fs::path makeTemporaryFolder(const std::string& prefix) {
  static std::mt19937_64 rng(std::random_device{}());
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix;
    for (int i = 0; i < 6; ++i) name += "abcdefghijklmnopqrstuvwxyz0123456789"[rng() % 36];
    const fs::path p = fs::temp_directory_path() / fromUtf8(name);
    // create_directory is false when the folder was there already: someone else's.
    if (fs::create_directory(p)) return p;
  }
  throw std::runtime_error("cannot make a temporary folder");
}

std::string utf8(const fs::path& path) {
  const std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
}

fs::path fromUtf8(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

std::optional<std::string> variable(const char* name) {
#ifdef _WIN32
  const wchar_t* v = ::_wgetenv(platform::widen(name).c_str());
  if (!v) return std::nullopt;
  return platform::narrow(v);
#else
  const char* v = std::getenv(name);
  if (!v) return std::nullopt;
  return std::string(v);
#endif
}

void setVariable(const char* name, const std::optional<std::string>& value) {
#ifdef _WIN32
  // UTF-16, so that a value that is not ASCII arrives whole. An empty value removes the variable
  // there, as nothing does.
  ::_wputenv_s(platform::widen(name).c_str(), value ? platform::widen(*value).c_str() : L"");
#else
  if (value)
    ::setenv(name, value->c_str(), 1);
  else
    ::unsetenv(name);
#endif
}

bool runsAsRoot() {
#ifdef _WIN32
  return false;
#else
  return ::geteuid() == 0;
#endif
}

AppFolder::AppFolder(const std::string& prefix) {
  path_ = makeTemporaryFolder(prefix);
  player_ = makeTemporaryFolder("morofin-player-");
  previousDataHome_ = variable(kPlayerDataVariable);
  setVariable(kPlayerDataVariable, utf8(player_));
  fs::create_directories(path_ / "sound");
  fs::create_directories(path_ / "data");
  const std::string midi("MThd\0\0\0\6\0\0\0\1\0\x60", 14);
  for (const char* m : {"e", "n", "h", "d"}) write(std::string("sound/bgm_") + m + ".mid", midi);
  for (const char* w : {"get", "wait", "end"}) write(std::string("sound/") + w + ".wav", "RIFF");
}

AppFolder::~AppFolder() {
  std::error_code ec;
  fs::permissions(path_ / "data", fs::perms::owner_all, ec);
  fs::remove_all(path_, ec);
  fs::permissions(player_ / "morofin", fs::perms::owner_all, ec);
  fs::remove_all(player_, ec);
  setVariable(kPlayerDataVariable, previousDataHome_);
}

void AppFolder::write(const std::string& relative, const std::string& bytes) const {
  std::ofstream(path_ / relative, std::ios::binary) << bytes;
}

std::string AppFolder::read(const std::string& relative) const {
  return readFile(path_ / relative);
}

std::string readFile(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

Game::Game(bool scriptedRandom) {
  rt = std::make_unique<platform::Runtime>(provider, rules::morofinProject());
  rt->setAppPath(folder.appPath());
  rt->media().setLog(&media);
  if (scriptedRandom) {
    auto r = std::make_unique<ScriptedRandom>();
    random = r.get();
    rt->setRandom(std::move(r));
  } else {
    // The same draws in every run, so that no test passes or fails by chance.
    rt->setRandom(std::make_unique<SeededRandom>(1));
  }
}

Game::~Game() {
  rt.reset();
}

bool Game::click(int button) {
  auto& b = title().ctl<platform::CommandButton>("Command" + std::to_string(button));
  auto handler = b.onClick;
  bool ok = rt->dispatch(handler);
  rt->collect();
  return ok;
}

bool Game::endWith(int score) {
  st().score = score;
  st().zekaX = 600;  // far from the wobo: no catch in the last tick
  st().zekaY = 300;
  st().timeTens = 0;
  st().timeOnes = 0;
  st().tickCount = 19;
  return ticks(1) && over();
}

std::vector<std::string> Game::mediaLog(size_t from) const {
  std::vector<std::string> out;
  const std::string root = folder.appPath();
  for (size_t i = from; i < media.size(); ++i) {
    const auto& e = media[i];
    if (e.kind == platform::MediaEvent::kCommand) {
      out.push_back("mci:" + e.text);
    } else {
      std::string p = e.text;
      if (p.rfind(root, 0) == 0) p = p.substr(root.size());
      out.push_back("wave:" + p);
    }
  }
  return out;
}

void writePpm(const platform::Bitmap& b, const std::string& path) {
  std::ofstream f(path, std::ios::binary);
  f << "P6\n" << b.width << " " << b.height << "\n255\n";
  f.write(reinterpret_cast<const char*>(b.pixels.data()),
          static_cast<std::streamsize>(b.pixels.size()));
}

std::string snapshotDir() {
  const char* d = std::getenv("MOROFIN_SNAPSHOTS");
  if (!d || !*d) return {};
  fs::create_directories(d);
  return d;
}

int shown(Game& g, const char* display) {
  const auto& num = screens::pictures().num;
  int v = 0;
  for (int i = 0; i < 2; ++i) {
    const auto& p = g.game().ctl<platform::Image>(display, i).GetPicture();
    int d = -1;
    for (int k = 0; k < 10; ++k)
      if (p == num[k]) d = k;
    v = v * 10 + d;
  }
  return v;
}

int interval(Game& g, const char* timer) {
  return g.game().ctl<platform::Timer>(timer).Interval();
}

std::vector<std::string> commandsOnly(const std::vector<std::string>& log) {
  std::vector<std::string> out;
  for (const auto& l : log)
    if (l != "mci:status Midi mode") out.push_back(l);
  return out;
}

}  // namespace testkit
