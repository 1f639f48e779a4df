#include "tests/testkit.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "screens/pictures.h"

namespace testkit {

namespace fs = std::filesystem;

AppFolder::AppFolder() {
  std::string tmpl = (fs::temp_directory_path() / "morofin-test-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp");
  path_ = tmpl;
  tmpl = (fs::temp_directory_path() / "morofin-player-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp");
  player_ = tmpl;
  if (const char* old = std::getenv("XDG_DATA_HOME")) previousDataHome_ = old;
  ::setenv("XDG_DATA_HOME", player_.c_str(), 1);
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
  if (previousDataHome_)
    ::setenv("XDG_DATA_HOME", previousDataHome_->c_str(), 1);
  else
    ::unsetenv("XDG_DATA_HOME");
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
  rt->setAppPath(folder.path().string());
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
  const std::string root = folder.path().string();
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
