// A program folder, and a player's folder, whose names are not ASCII: the paths go to the system
// whole (on Windows as UTF-16), for the scores, the sound files and the program's own folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "storage/hiscore.h"
#include "tests/players.h"
#include "tests/testkit.h"

namespace {

namespace fs = std::filesystem;

const char* const kName = "モロフィン・ゲーム é-";

TEST(ProgramFolder, ANameThatIsNotAsciiServesScoresAndSound) {
  testkit::Game g;
  testkit::AppFolder folder(kName);
  g.rt->setAppPath(folder.appPath());
  folder.write("data/h.dat", "12\r\n");
  ASSERT_TRUE(g.start());
  testing::internal::CaptureStderr();
  ASSERT_TRUE(g.click(3));
  EXPECT_EQ(g.st().hiScore.value(), 12);
  ASSERT_TRUE(g.endWith(20));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(folder.read("data/h.dat"), "20\r\n");
  // The music was opened and the effect found there.
  int opened = 0, waves = 0;
  for (const auto& e : g.media) {
    if (e.kind == platform::MediaEvent::kCommand && e.text.rfind("Open ", 0) == 0) {
      EXPECT_NE(e.text.find(kName), std::string::npos) << e.text;
      EXPECT_EQ(e.result, 0u) << e.text;
      ++opened;
    }
    if (e.kind == platform::MediaEvent::kWave) {
      EXPECT_EQ(e.result, 1u) << e.text;
      ++waves;
    }
  }
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(waves, 1);  // end.wav
  // An installed copy keeps the player's scores in a player's folder of such a name as well.
  folder.write("installed", "");
  const fs::path player = folder.path() / testkit::fromUtf8("プレイヤー");
  testkit::setVariable(testkit::kPlayerDataVariable, testkit::utf8(player));
  ASSERT_TRUE(storage::writeHighScore("h", 30));
  EXPECT_EQ(testkit::readFile(player / "morofin" / "h.dat"), "30\r\n");
  EXPECT_EQ(storage::readHighScore("h").value(), 30);
}

TEST(ProgramFolder, TheProgramFindsItsFolderWhateverItsName) {
  testkit::AppFolder folder(kName);
  const fs::path writer(MOROFIN_SCORE_WRITER);
  const fs::path copy = folder.path() / writer.filename();
  fs::copy_file(writer, copy);
  players::Process p({testkit::utf8(copy), "-", "where"});
  std::string out;
  ASSERT_EQ(p.finish(&out), 0) << out;
  ASSERT_FALSE(out.empty());
  out.pop_back();  // the line end
  EXPECT_NE(out.find(kName), std::string::npos) << out;
  EXPECT_TRUE(fs::equivalent(testkit::fromUtf8(out), folder.path())) << out;
}

}  // namespace
