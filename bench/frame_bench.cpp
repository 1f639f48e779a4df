// One tick of the game and one composed playfield frame, each against a plain copy of a 640 x 320
// frame measured in the same run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "drawing/playfield.h"
#include "platform/headless/headless.h"
#include "platform/keys.h"
#include "platform/runtime.h"
#include "rules/game_form.h"
#include "rules/project.h"
#include "screens/pictures.h"
#include "screens/title.h"

namespace {

struct Loaded {
  platform::headless::HeadlessProvider hp;
  platform::Runtime rt{hp, rules::morofinProject()};
  rules::GameForm* game = nullptr;
  Loaded() {
    auto dir = std::filesystem::temp_directory_path() / "morofin-bench";
    std::filesystem::create_directories(dir);
    rt.setAppPath(dir.string());
    rt.start();
    auto& title = rt.form<screens::TitleForm>();
    rt.dispatch([&] { title.Command2_Click(); });
    game = &rt.form<rules::GameForm>();
  }
};

void PlainFrameCopy(benchmark::State& state) {
  const auto& field = *screens::pictures().field.bitmap();
  std::vector<uint8_t> out(field.pixels.size());
  for (auto _ : state) {
    std::memcpy(out.data(), field.pixels.data(), out.size());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(PlainFrameCopy);

void ComposePlayfield(benchmark::State& state) {
  Loaded l;
  auto& g = *l.game;
  auto& map = g.ctl<platform::PictureBox>("map");
  const auto& mapPicture = g.ctl<platform::PictureBox>("mapPicture");
  auto wobo = g.arr<platform::PictureBox>("wobo");
  auto zeka = g.arr<platform::PictureBox>("zeka");
  int i = 0;
  for (auto _ : state) {
    ++i;
    drawing::drawFrame(map, mapPicture, zeka, wobo, {i % 600, 100, 3, 300, i % 280, 0});
    benchmark::DoNotOptimize(map.nativeImage().pixels.data());
  }
}
BENCHMARK(ComposePlayfield);

void GameTick(benchmark::State& state) {
  Loaded l;
  auto& g = *l.game;
  l.rt.keys().setHeld(platform::VK_RIGHT, true);
  int i = 0;
  for (auto _ : state) {
    // Keep the clock from running out and the player on the field.
    g.st.timeTens = 9;
    if (++i % 100 == 0) g.st.woboX = 300;
    g.woboTimer_Timer();
    benchmark::DoNotOptimize(g.st.zekaX);
  }
}
BENCHMARK(GameTick);

}  // namespace

BENCHMARK_MAIN();
