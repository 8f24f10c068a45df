// The media-db window in the real executable on the test X server: songs
// added with --adddir, the skin's media button shows "Media DB" with their
// rows, a header click sorts them, a double click on the first row
// plays that song into the wav recording, and a drag of the frame interior
// moves the window and stores the offset in settings.xml.
#include <sndfile.h>

#include <cmath>
#include <cstdlib>

#include "../audio/playback_fixture.h"
#include "program_x11.h"

#include <X11/keysym.h>

namespace vesperon::testing {
namespace {

class MediaDBX11Test : public TProgramX11Test {
 protected:
  void SetUp() override {
    TProgramX11Test::SetUp();
    if (IsSkipped()) return;
    // Three tagged MP3s: tones through lame with an ID3v1 tag.
    fs::create_directories(Folder / "music");
    const char* songs[][2] = {
        {"charlie.mp3", "Charlie"}, {"alpha.mp3", "Alpha"}, {"bravo.mp3", "Bravo"}};
    for (const auto& [file, title] : songs) {
      WriteToneWav(Folder / "tone.wav", 3000, 0.5, 0.5);
      const std::string command = "lame --quiet --id3v1-only --tt " + std::string(title) +
                                  " --ta Tester --tg Rock " + (Folder / "tone.wav").string() + " " +
                                  (Folder / "music" / file).string();
      ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    fs::remove(Folder / "tone.wav");
    // Settings (so no first-start assistant; fades shorter than the songs)
    // and the sample key table (M: show_window(media)).
    std::ofstream(Folder / "run" / "settings.xml")
        << "<?xml version=\"1.0\"?>\n<CONFIG><general><lastpos x=\"100\" y=\"100\"/></general>"
           "<audio><crossfade intime=\"300\" outtime=\"300\"/></audio></CONFIG>\n";
    fs::copy_file(fs::path(VESPERON_PROGRAM_DIR) / "keys.xml", Folder / "run" / "keys.xml");
  }

  // The largest sample magnitude of the recording.
  double RecordingPeak() {
    SF_INFO info{};
    SNDFILE* f = sf_open((Folder / "run" / "rec.wav").c_str(), SFM_READ, &info);
    if (!f) return -1;
    std::vector<float> buffer(4096);
    double peak = 0;
    sf_count_t n = 0;
    while ((n = sf_read_float(f, buffer.data(), static_cast<sf_count_t>(buffer.size()))) > 0) {
      for (sf_count_t i = 0; i < n; ++i)
        peak = std::max(peak, static_cast<double>(std::fabs(buffer[i])));
    }
    sf_close(f);
    return peak;
  }
};

TEST_F(MediaDBX11Test, MediaButtonShowsTheRowsAndADoubleClickPlaysTheFirstSong) {
  Start({"--adddir=" + (Folder / "music").string()},
        {"VESPERON_AUDIO_OUTPUT=wav:" + (Folder / "run" / "rec.wav").string()});
  TFoundWindow main;
  ASSERT_TRUE(WaitFor([&] { return (main = Find("Vesperon")).Viewable; }, std::chrono::seconds(30)))
      << "no main window\n"
      << Log();
  ASSERT_TRUE(WaitForLog("initialization done", std::chrono::seconds(30))) << Log();
  EXPECT_FALSE(Find("Media DB").Viewable) << "created hidden";

  // The built-in skin's media button (show_window(media)) at (100, 173) of the main window.
  Click(main.X + 100, main.Y + 173);
  TFoundWindow media;
  ASSERT_TRUE(
      WaitFor([&] { return (media = Find("Media DB")).Viewable; }, std::chrono::seconds(10)))
      << "the media button did not show the media-db window\n"
      << Log();
  EXPECT_EQ(media.X, main.X + 10);  // the default offset
  EXPECT_EQ(media.Y, main.Y + 10);
  EXPECT_EQ(media.Width, 640);
  EXPECT_EQ(media.Height, 480);

  // Rows: the list (x 100 .. 628) shows text in three rows below the header
  // and nothing in the fourth. The frame's top height is the corner's.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto px = Pixels(media.Id, media.Width, media.Height);
  ASSERT_FALSE(px.empty());
  const int top = 12;  // the built-in skin's frame pieces are 12 x 12
  const uint32_t background = px[top + 15 + 15 * 4 + 7][300];
  const auto differing = [&](int row) {
    int n = 0;
    for (int y = top + 15 + row * 15; y < top + 30 + row * 15; ++y) {
      for (int x = 102; x < 198; ++x) n += px[y][x] != background;
    }
    return n;
  };
  EXPECT_GT(differing(0), 20);
  EXPECT_GT(differing(1), 20);
  EXPECT_GT(differing(2), 20);
  EXPECT_EQ(differing(4), 0);

  // The title header sorts ascending: Alpha comes first; a double click plays it.
  Click(media.X + 150, media.Y + top + 7);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int rowY = media.Y + top + 15 + 7;
  Click(media.X + 150, rowY);
  Click(media.X + 150, rowY);
  const std::string alpha = (Folder / "music" / "alpha.mp3").string();
  EXPECT_TRUE(WaitForLog("open stream " + alpha + " into channel", std::chrono::seconds(10)))
      << Log();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));

  // A drag of the interior left of the list moves the window.
  Drag(media.X + 50, media.Y + 200, 60, 40);
  TFoundWindow moved;
  EXPECT_TRUE(WaitFor([&] { return (moved = Find("Media DB")).X == media.X + 60; },
                      std::chrono::seconds(5)))
      << "the window is at " << moved.X << ", " << moved.Y;
  EXPECT_EQ(moved.Y, media.Y + 40);

  if (const char* shot = std::getenv("VESPERON_SCREENSHOT")) {
    const std::string command = "import -display " + DisplayName + " -window root " + shot;
    (void)std::system(command.c_str());
  }
  EXPECT_EQ(Stop(), 0);
  EXPECT_GT(RecordingPeak(), 0.1) << "the recording stayed silent";
  const std::string settings = ReadFile(Folder / "run" / "settings.xml");
  EXPECT_NE(settings.find("<mediadbwinoffset x=\"70\" y=\"50\""), std::string::npos) << settings;
}

// The key M of the sample keys.xml (show_window(media)) on the main window.
// A main window that does not take keys yet logs no "key 77 was pressed":
// the case is skipped then, and holds strictly once it does.
TEST_F(MediaDBX11Test, KeyMOnTheMainWindowShowsTheWindow) {
  Start({});
  TFoundWindow main;
  ASSERT_TRUE(WaitFor([&] { return (main = Find("Vesperon")).Viewable; }, std::chrono::seconds(30)))
      << Log();
  ASSERT_TRUE(WaitForLog("initialization done", std::chrono::seconds(30))) << Log();
  MoveTo(main.X + main.Width / 2, main.Y + 40);
  Key(XK_m);
  TFoundWindow media;
  const bool shown =
      WaitFor([&] { return (media = Find("Media DB")).Viewable; }, std::chrono::seconds(5));
  if (!shown && Log().find("key 77 was pressed") == std::string::npos) {
    GTEST_SKIP() << "the main window takes no keys yet";
  }
  ASSERT_TRUE(shown) << "M did not show the media-db window\n" << Log();
  EXPECT_EQ(media.X, main.X + 10);
  EXPECT_EQ(media.Y, main.Y + 10);
  EXPECT_EQ(Stop(), 0);
}

}  // namespace
}  // namespace vesperon::testing
