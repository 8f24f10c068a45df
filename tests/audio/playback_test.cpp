// The playback controller against the real audio library on the null
// output: opening, the transport operations, the queue and history, the
// random choice, the end of a song with and without crossfade, and the
// steps that go through the skin.
#include "audio/playback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "audio/audio_binding.h"
#include "core/files.h"
#include "core/log.h"
#include "core/random.h"
#include "core/settings.h"
#include "core/skin_link.h"
#include "core/text.h"
#include "media/mediadb.h"
#include "playback_fixture.h"
#include "script/scriptengine.h"

namespace vesperon::testing {
namespace {

using namespace std::chrono_literals;

std::vector<std::u16string> Names(const std::vector<TQueueEntry>& entries) {
  std::vector<std::u16string> names;
  for (const TQueueEntry& e : entries) names.push_back(e.FileName);
  return names;
}

using NameList = std::vector<std::u16string>;

TEST_F(PlaybackTest, FirstSongOpensOnChannelOneWithoutStartingAndSongsAlternate) {
  ASSERT_TRUE(Player.OpenStream(Song("a.wav"), 7));
  EXPECT_EQ(Player.CurrentChannel, 1);
  EXPECT_TRUE(Logged("open stream " + Utf16ToUtf8(Song("a.wav")) + " into channel 1..."));
  EXPECT_EQ(Player.Current().IsPlaying, 0);
  EXPECT_EQ(Player.Current().Channel, nullptr);
  EXPECT_EQ(Player.GetLength(), 1000u);
  EXPECT_EQ(Player.History, (std::vector<TQueueEntry>{{Song("a.wav"), 7}}));

  ASSERT_TRUE(Player.OpenStream(Song("b.wav"), 0));
  EXPECT_EQ(Player.CurrentChannel, 0);
  EXPECT_EQ(Player.GetLength(), 800u);
  EXPECT_FALSE(Player.OpenStream(u"", 0));
  EXPECT_EQ(Player.CurrentChannel, 0);
  EXPECT_EQ(Player.History.size(), 2u);
}

TEST_F(PlaybackTest, PauseHoldsThePositionAndPlayResumes) {
  ASSERT_TRUE(Player.OpenStream(Song("long.wav"), 0));
  Player.Play();
  EXPECT_EQ(Player.Current().IsPlaying, 1);
  EXPECT_TRUE(Logged("play channel 1"));
  RunSteps(250);
  EXPECT_GT(Player.GetPosition(), 100u);

  Player.Pause();
  EXPECT_TRUE(Player.Paused);
  const uint32_t paused = Player.GetPosition();
  std::this_thread::sleep_for(250ms);
  EXPECT_LE(Player.GetPosition(), paused + 30);

  Player.Play();
  EXPECT_FALSE(Player.Paused);
  std::this_thread::sleep_for(250ms);
  EXPECT_GT(Player.GetPosition(), paused + 150);
  EXPECT_LT(Player.GetPosition(), paused + 600);  // resumed, not restarted
}

TEST_F(PlaybackTest, PauseAndResumeAfterSkippingReportNoErrors) {
  ASSERT_TRUE(Player.OpenStream(Song("long.wav"), 0));
  Player.Play();
  Player.Enqueue(Song("a.wav"));
  Player.Next(false);
  Player.Pause();
  Player.Play();
  for (const std::string& line : LogLines) EXPECT_NE(line.rfind("ERROR: ", 0), 0u) << line;
  EXPECT_NE(Player.Channels[0].Channel, Player.Channels[1].Channel);
  EXPECT_TRUE(LibraryPlays(Player.Current()));
}

TEST_F(PlaybackTest, PauseStopPlayLeavesSilenceAndClearsPaused) {
  ASSERT_TRUE(Player.OpenStream(Song("long.wav"), 0));
  Player.Play();
  RunSteps(100);
  Player.Pause();
  Player.Stop();
  EXPECT_TRUE(Logged("stopped"));
  Player.Play();
  EXPECT_FALSE(Player.Paused);
  EXPECT_EQ(Player.Current().IsPlaying, 0);
  EXPECT_FALSE(LibraryPlays(Player.Current()));

  // A Play after Stop alone starts the song again from its beginning.
  Player.Play();
  EXPECT_EQ(Player.Current().IsPlaying, 1);
  EXPECT_TRUE(LibraryPlays(Player.Current()));
  EXPECT_LT(Player.GetPosition(), 100u);
}

TEST_F(PlaybackTest, PlayWithoutSoundTakesTheQueueOrSaysWhy) {
  Player.Play();
  EXPECT_TRUE(Logged("cannot play: stream not assigned and no song in queue"));

  Player.Enqueue(Song("a.wav"));
  Player.Enqueue(Song("b.wav"));
  Player.Play();
  EXPECT_EQ(Player.Current().IsPlaying, 1);
  EXPECT_EQ(Names(Player.Queue), NameList{Song("b.wav")});
  EXPECT_EQ(Names(Player.History), NameList{Song("a.wav")});
}

// A song shorter than the fade-out time is not skipped at its first step
// (a database of short songs would otherwise switch songs on every step):
// the next one starts once half of it has played, and it counts as played.
TEST_F(PlaybackTest, SongShorterThanTheFadeOutPlaysHalfAndCountsAsPlayed) {
  gSettings.CrossfadeOutTime = 1000;
  AddToDatabase({Song("short.wav")});
  ASSERT_TRUE(Player.OpenStream(Song("short.wav"), 0));
  Player.Enqueue(Song("a.wav"));
  const int first = Player.CurrentChannel;
  Player.Play();
  Player.Step();
  EXPECT_EQ(Player.CurrentChannel, first);
  EXPECT_EQ(Names(Player.History), (NameList{Song("short.wav")}));
  const auto took = RunSteps(2000, [&] { return Player.CurrentChannel != first; });
  ASSERT_NE(Player.CurrentChannel, first);
  EXPECT_GE(took, 100ms - 30ms);  // half of the 200 ms song
  EXPECT_EQ(Player.Current().IsPlaying, 1);
  EXPECT_EQ(Names(Player.History), (NameList{Song("short.wav"), Song("a.wav")}));
  // Next(true) leaves the old channel playing, to fade out.
  EXPECT_EQ(Player.Channels[first].IsPlaying, 1);
  const PMediaEntry entry = MediaDB()->GetEntryPtr(0);
  EXPECT_EQ(entry->PlayCountA, 1);
  EXPECT_EQ(entry->PlayCountB, 1);
}

// With crossfade the next song starts CrossfadeOutTime before the end, and
// without it only when the position reaches the length; a loop that sleeps
// as long as MsUntilStepWork allows sees the end as soon as one that steps
// every 2 ms.
TEST_F(PlaybackTest, NextSongStartsAtTheFadeOutOrAtTheEnd) {
  int first = 0, endSeenAt = -1;
  // Records where the old song was when the next one began to open. Taken
  // off again before the test's variables go, whatever way the test ends.
  SetLogObserver([&](std::string_view line) {
    LogLines.emplace_back(line);
    unsigned position = 0;
    if (line.starts_with("open stream") && endSeenAt < 0 &&
        Player.Channels[first].Channel != nullptr &&
        gAudioLib.Channel_GetPosition(Player.Channels[first].Channel, &position,
                                      FMOD_TIMEUNIT_MS) == FMOD_OK) {
      endSeenAt = static_cast<int>(position);
    }
  });
  struct TPlainObserver {
    std::vector<std::string>& Lines;
    ~TPlainObserver() {
      SetLogObserver([&lines = Lines](std::string_view line) { lines.emplace_back(line); });
    }
  } plain{LogLines};
  for (const bool sleeping : {false, true})
    for (const bool crossfade : {true, false}) {
      SCOPED_TRACE(crossfade ? "crossfade on" : "crossfade off");
      SCOPED_TRACE(sleeping ? "sleeping loop" : "2 ms loop");
      SleepLikeTheMainLoop = sleeping;
      gSettings.Crossfade = crossfade;
      Player.Stop();
      Player.ClearQueue();
      endSeenAt = 0;  // the first song's own open is not the end
      ASSERT_TRUE(Player.OpenStream(Song("a.wav"), 0));
      Player.Enqueue(Song("b.wav"));
      first = Player.CurrentChannel;
      endSeenAt = -1;
      Player.Play();
      const auto took = RunSteps(3000, [&] { return Player.CurrentChannel != first; });
      ASSERT_NE(Player.CurrentChannel, first);
      const auto expected = crossfade ? 1000ms - 400ms : 1000ms;
      EXPECT_GE(took, expected - 30ms);
      EXPECT_LE(took, expected + 150ms);
      // The old song's position when the next one began to open shows how
      // late its end was seen.
      ASSERT_GE(endSeenAt, 0);
      const int late = endSeenAt - (crossfade ? 1000 - 400 : 1000);
      EXPECT_GE(late, 0);
      EXPECT_LE(late, 10) << "the end was seen " << late << " ms late";
      if (crossfade) {
        EXPECT_EQ(Player.Channels[first].IsPlaying, 1);
        RunSteps(1000, [&] { return Player.Channels[first].IsPlaying == 0; });
        EXPECT_EQ(Player.Channels[first].IsPlaying, 0);  // the fade-out has finished
      }
    }
}

// The main loop sleeps as long as MsUntilStepWork allows: every step while
// a fade runs or an end is near, else until the fade-out or the end (less
// the look-ahead), and not at all while nothing plays or all is paused.
TEST_F(PlaybackTest, StepWorkIsDueWhileFadingAndNearTheEndOnly) {
  EXPECT_EQ(Player.MsUntilStepWork(), kNoStepWork);
  gSettings.Crossfade = true;
  ASSERT_TRUE(Player.OpenStream(Song("long.wav"), 0));  // 4000 ms
  EXPECT_EQ(Player.MsUntilStepWork(), kNoStepWork);     // opened, not started
  Player.Play();
  EXPECT_EQ(Player.MsUntilStepWork(), 0u);  // fading in over 300 ms
  RunSteps(500);
  const auto near = [](uint32_t ms, uint32_t expected) {
    return ms + 30 >= expected && ms <= expected + 30;
  };
  uint32_t position = Player.GetPosition();
  // The fade-out and the next song start 400 ms before the end.
  EXPECT_PRED2(near, Player.MsUntilStepWork(), 4000 - 400 - position - kStepLookAheadMs);
  gSettings.Crossfade = false;
  EXPECT_PRED2(near, Player.MsUntilStepWork(), 4000 - position - kStepLookAheadMs);
  Player.Pause();
  EXPECT_EQ(Player.MsUntilStepWork(), kNoStepWork);
  Player.Play();
  EXPECT_NE(Player.MsUntilStepWork(), kNoStepWork);
  Player.Stop();
  EXPECT_EQ(Player.MsUntilStepWork(), kNoStepWork);
}

// Fades of up to a second move on every pass; longer ones in steps of
// 1/500 of the volume, at most 10 ms apart, so that a 5 s fade does not
// keep the main loop waking every 2 ms for no audible difference.
TEST_F(PlaybackTest, LongFadesAreSteppedLessOften) {
  EXPECT_EQ(MsBetweenFadeSteps(0), 0u);
  EXPECT_EQ(MsBetweenFadeSteps(300), 0u);
  EXPECT_EQ(MsBetweenFadeSteps(1000), 0u);
  EXPECT_EQ(MsBetweenFadeSteps(2000), 4u);
  EXPECT_EQ(MsBetweenFadeSteps(5000), 10u);
  EXPECT_EQ(MsBetweenFadeSteps(UINT32_MAX), kLongestFadeStepMs);

  gSettings.Crossfade = true;
  gSettings.CrossfadeInTime = 5000;
  ASSERT_TRUE(Player.OpenStream(Song("long.wav"), 0));  // 4000 ms: fades in all along
  Player.Play();
  EXPECT_EQ(Player.MsUntilStepWork(), 10u);
  RunSteps(100);
  EXPECT_EQ(Player.MsUntilStepWork(), 10u);
  // The end (400 ms before it, with the fade-out) is still watched closely.
  gSettings.CrossfadeOutTime = 4000 - Player.GetPosition() - 5;
  EXPECT_EQ(Player.MsUntilStepWork(), 0u);
  gSettings.CrossfadeOutTime = 400;
  gSettings.CrossfadeInTime = 300;
  RunSteps(400);
  EXPECT_GT(Player.MsUntilStepWork(), 1000u);  // full volume until the fade-out
}

// A whole song with a crossfade into the next, stepped as the main loop
// does: far fewer steps than one every 2 ms, yet every step while either
// channel fades.
TEST_F(PlaybackTest, SleepingLoopStepsRarelyButEveryPassWhileFading) {
  gSettings.Crossfade = true;
  SleepLikeTheMainLoop = true;
  ASSERT_TRUE(Player.OpenStream(Song("long.wav"), 0));
  Player.Enqueue(Song("b.wav"));
  const int first = Player.CurrentChannel;
  Player.Play();
  RunSteps(5000, [&] { return Player.CurrentChannel != first; });
  ASSERT_NE(Player.CurrentChannel, first);
  // 300 ms fading in and 20 ms before the end at 2 ms, 3.3 s in steps of
  // up to 54 ms: a loop stepping every 2 ms would take some 1800 steps.
  EXPECT_LT(StepsRun, 400);
  // Both channels fade now: the old one out, the new one in.
  while (Player.Channels[first].IsPlaying != 0 && LibraryPlays(Player.Channels[first])) {
    EXPECT_EQ(Player.MsUntilStepWork(), 0u);
    RunSteps(10);
  }
}

TEST_F(PlaybackTest, FadeTimesOfZeroPlayAtFullVolume) {
  gSettings.CrossfadeInTime = 0;
  gSettings.CrossfadeOutTime = 0;
  ASSERT_TRUE(Player.OpenStream(Song("short.wav"), 0));
  Player.Play();
  Player.Step();
  float volume = 0;
  ASSERT_EQ(gAudioLib.Channel_GetVolume(Player.Current().Channel, &volume), FMOD_OK);
  EXPECT_FLOAT_EQ(volume, 1.0f);
  RunSteps(1000, [&] { return Logged("no song in the media-db"); });
  EXPECT_TRUE(Logged("no song in the media-db"));
}

TEST_F(PlaybackTest, EndOfTheLastSongIsHandledOnce) {
  ASSERT_TRUE(Player.OpenStream(Song("short.wav"), 0));
  Player.Play();
  RunSteps(600);
  EXPECT_EQ(std::count(LogLines.begin(), LogLines.end(), "no song in the media-db"), 1);
  // Play starts the song again, and its end is handled again.
  Player.Play();
  RunSteps(600);
  EXPECT_EQ(std::count(LogLines.begin(), LogLines.end(), "no song in the media-db"), 2);
}

TEST(CrossfadeVolumeTest, FormulasUseUnsigned32BitArithmetic) {
  EXPECT_FLOAT_EQ(CrossfadeVolume(2500, 60000, 5000, 5000), 0.5f);
  EXPECT_FLOAT_EQ(CrossfadeVolume(0, 60000, 5000, 5000), 0.0f);
  EXPECT_FLOAT_EQ(CrossfadeVolume(30000, 60000, 5000, 5000), 1.0f);
  EXPECT_FLOAT_EQ(CrossfadeVolume(57500, 60000, 5000, 5000), 0.5f);
  EXPECT_FLOAT_EQ(CrossfadeVolume(60000, 60000, 5000, 5000), 0.0f);
  // A song shorter than the fade-out never enters the fade-out branch.
  EXPECT_FLOAT_EQ(CrossfadeVolume(2900, 3000, 1000, 5000), 1.0f);
  // No fade at all when a time is 0: no division, full volume.
  EXPECT_FLOAT_EQ(CrossfadeVolume(0, 60000, 0, 5000), 1.0f);
  EXPECT_FLOAT_EQ(CrossfadeVolume(60000, 60000, 5000, 0), 1.0f);
  // A position reported past the length does not wrap into a huge volume.
  EXPECT_FLOAT_EQ(CrossfadeVolume(60010, 60000, 5000, 5000), 0.0f);
}

TEST_F(PlaybackTest, NextOnAnEmptyQueueReopensTheOnlyEntryAfterTwentyOneDraws) {
  AddToDatabase({Song("a.wav")});
  ASSERT_TRUE(Player.OpenStream(Song("a.wav"), 0));
  RandomSeed(12345);
  Player.Next(false);
  EXPECT_EQ(Names(Player.History), (NameList{Song("a.wav"), Song("a.wav")}));
  EXPECT_EQ(Player.Current().IsPlaying, 1);
  // The generator moved on by exactly 21 draws.
  const uint32_t after = Random(1u << 30);
  RandomSeed(12345);
  for (int i = 0; i < kRandomDraws; ++i) Random(1);
  EXPECT_EQ(after, Random(1u << 30));
}

TEST_F(PlaybackTest, RandomChoiceAvoidsTheNewerHalfOfTheHistory) {
  const NameList songs{Song("a.wav"), Song("b.wav"), Song("short.wav"), Song("long.wav")};
  AddToDatabase(songs);
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    RandomSeed(seed);
    Player.History.clear();
    for (const std::u16string& s : songs) Player.History.push_back({s, 0});
    Player.Next(false);
    const std::u16string chosen = Player.History.back().FileName;
    EXPECT_TRUE(chosen == songs[0] || chosen == songs[1]) << Utf16ToUtf8(chosen);
  }
}

TEST_F(PlaybackTest, NextWithNothingToChooseFromSaysSo) {
  Player.Next(false);
  EXPECT_TRUE(Logged("no song in the media-db"));
  EXPECT_TRUE(Player.History.empty());
}

TEST_F(PlaybackTest, FailingFileInTheQueueIsReportedAndSkipped) {
  int mainLoopSteps = 0;
  Player.RunMainLoopStep = [&] { ++mainLoopSteps; };
  for (const char* name : {"bad.wav", "a.wav", "b.wav"}) Player.Enqueue(Song(name));
  Player.Play();
  EXPECT_TRUE(Logged("ERROR: loading failed"));
  EXPECT_TRUE(Logged("advancing to next song in queue..."));
  EXPECT_EQ(mainLoopSteps, 1);
  // Only the failed file left the queue; the song after it plays.
  EXPECT_EQ(Names(Player.Queue), NameList{Song("b.wav")});
  EXPECT_EQ(Player.Current().IsPlaying, 1);
  EXPECT_EQ(Player.GetLength(), 1000u);
  // The failed file is still appended after the song that replaced it.
  EXPECT_EQ(Names(Player.History), (NameList{Song("a.wav"), Song("bad.wav")}));
}

TEST_F(PlaybackTest, DatabaseOfMissingFilesDoesNotAdvanceForever) {
  AddToDatabase({u"/nonexistent/one.mp3", u"/nonexistent/two.mp3"});
  Player.Next(false);
  EXPECT_TRUE(Logged("WARNING: too many songs in a row failed to load, not advancing"));
  EXPECT_EQ(Player.History.size(), static_cast<size_t>(kMaxFailedLoadsInARow + 1));
}

// A nested main-loop step that throws does not leave the count of failed
// loads raised: long after the limit's worth of such exceptions, a failed
// load still advances to the next song.
TEST_F(PlaybackTest, ExceptionsAfterFailedLoadsDoNotStopLaterAdvancing) {
  Player.RunMainLoopStep = [] { throw std::runtime_error("a handler failed"); };
  for (int i = 0; i < 2 * kMaxFailedLoadsInARow; ++i) {
    Player.Enqueue(Song("bad.wav"));
    EXPECT_THROW(Player.Next(false), std::runtime_error);
  }
  Player.RunMainLoopStep = {};
  Player.Enqueue(Song("bad.wav"));
  Player.Enqueue(Song("a.wav"));
  Player.Next(false);
  EXPECT_FALSE(Logged("too many songs in a row failed to load"));
  EXPECT_TRUE(Player.Queue.empty());
  EXPECT_EQ(Names(Player.History).back(), Song("bad.wav"));
  EXPECT_EQ(Player.GetLength(), 1000u);
}

TEST_F(PlaybackTest, RefusedSoundFlipsTheChannelAndLeavesTheHistory) {
  FMOD_SYSTEM* const system = gAudioSystem;
  gAudioSystem = nullptr;  // the library refuses every request on no system
  EXPECT_FALSE(Player.OpenStream(Song("a.wav"), 0));
  gAudioSystem = system;
  EXPECT_EQ(Player.CurrentChannel, 1);
  EXPECT_TRUE(Player.History.empty());
  EXPECT_EQ(Player.Current().Sound, nullptr);
  ASSERT_FALSE(LogLines.empty());
  EXPECT_EQ(LogLines.back(), "ERROR: failed to open stream: " + ErrorText(FMOD_ERR_INVALID_HANDLE));

  Player.Enqueue(Song("a.wav"));
  gAudioSystem = nullptr;
  Player.Next(false);
  gAudioSystem = system;
  EXPECT_TRUE(Logged("WARNING: cannot open next song in queue"));
  EXPECT_TRUE(Player.Queue.empty());
}

TEST_F(PlaybackTest, PreviousGoesBackAndQueuesTheCurrentSong) {
  EXPECT_FALSE(Player.Previous(false));  // nothing to go back to
  ASSERT_TRUE(Player.OpenStream(Song("a.wav"), 0));
  EXPECT_FALSE(Player.Previous(false));
  EXPECT_EQ(Player.History.size(), 1u);
  EXPECT_TRUE(Player.Queue.empty());

  ASSERT_TRUE(Player.OpenStream(Song("b.wav"), 3));
  Player.Play();
  EXPECT_TRUE(Player.Previous(false));
  EXPECT_EQ(Player.Queue, (std::vector<TQueueEntry>{{Song("b.wav"), 3}}));
  EXPECT_EQ(Names(Player.History), NameList{Song("a.wav")});
  EXPECT_EQ(Player.GetLength(), 1000u);
  EXPECT_EQ(Player.Current().IsPlaying, 1);
}

TEST_F(PlaybackTest, HistoryKeepsTheNewest1024Songs) {
  for (size_t i = 0; i < kMaxHistory - 1; ++i)
    Player.History.push_back({IntToU16(static_cast<long long>(i)), 0});
  ASSERT_TRUE(Player.OpenStream(Song("a.wav"), 0));
  EXPECT_EQ(Player.History.size(), kMaxHistory);
  EXPECT_EQ(Player.History.front().FileName, u"0");
  ASSERT_TRUE(Player.OpenStream(Song("b.wav"), 0));
  ASSERT_TRUE(Player.OpenStream(Song("a.wav"), 0));
  EXPECT_EQ(Player.History.size(), kMaxHistory);
  EXPECT_EQ(Player.History.front().FileName, u"2");
  EXPECT_EQ(Player.History.back().FileName, Song("a.wav"));
}

TEST_F(PlaybackTest, SetVolumeClampsAndSetsTheMasterVolume) {
  float volume = -1;
  Player.SetVolume(300);
  EXPECT_EQ(gSettings.LastVolume, 255);
  ASSERT_EQ(gAudioLib.ChannelGroup_GetVolume(gMasterGroup, &volume), FMOD_OK);
  EXPECT_FLOAT_EQ(volume, 1.0f);
  Player.SetVolume(-5);
  EXPECT_EQ(gSettings.LastVolume, 0);
  Player.SetVolume(51);
  gAudioLib.ChannelGroup_GetVolume(gMasterGroup, &volume);
  EXPECT_FLOAT_EQ(volume, 0.2f);
}

// --- playlists ---------------------------------------------------------------

TEST(PlaylistTest, OnlyPathLinesAreKeptWhateverTheLineEnds) {
  const std::string text =
      "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:123,Artist - Title\r\n/music/one.mp3\r\n\r\n"
      "relative/two.ogg\n\n#comment\nthree.wav\r four \xC3\xA9.flac\rlast.mp3";
  EXPECT_EQ(ParsePlaylist(text), (NameList{u"/music/one.mp3", u"relative/two.ogg", u"three.wav",
                                           u" four \u00e9.flac", u"last.mp3"}));
  EXPECT_TRUE(ParsePlaylist("").empty());
  EXPECT_TRUE(ParsePlaylist("\r\n\r\n\n\r#x").empty());
  // Bytes that are not UTF-8 survive the trip to UTF-16 and back.
  const NameList odd = ParsePlaylist("caf\xE9.mp3\n");
  ASSERT_EQ(odd.size(), 1u);
  EXPECT_EQ(Utf16ToUtf8(odd[0]), "caf\xE9.mp3");
}

TEST(PlaylistTest, ExtensionDecidesWhatIsAPlaylist) {
  EXPECT_TRUE(IsPlaylistName(u"/x/list.m3u"));
  EXPECT_TRUE(IsPlaylistName(u"LIST.M3U"));
  EXPECT_FALSE(IsPlaylistName(u"list.m3u8"));
  EXPECT_FALSE(IsPlaylistName(u"/x.m3u/song.mp3"));
  EXPECT_FALSE(IsPlaylistName(u"m3u"));
}

TEST_F(PlaybackTest, EnqueueAppendsFilesAndPlaylistPathsUnchanged) {
  const std::filesystem::path list = SongDir() / "list.M3U";
  std::ofstream(list, std::ios::binary) << "#EXTM3U\r\n#EXTINF:1,a\r\nsub/a.wav\r\n/abs/b.wav\n";
  Player.Enqueue(u"first.mp3");
  EXPECT_TRUE(Player.Enqueue(U16FromPath(list)));
  EXPECT_EQ(Names(Player.Queue), (NameList{u"first.mp3", u"sub/a.wav", u"/abs/b.wav"}));
  EXPECT_FALSE(Player.Enqueue(u"/nonexistent/list.m3u"));
  EXPECT_TRUE(Logged("ERROR: cannot read playlist /nonexistent/list.m3u"));
  Player.ClearQueue();
  EXPECT_TRUE(Player.Queue.empty());
}

TEST_F(PlaybackTest, RandomlyChosenPlaylistIsQueuedAndItsFirstSongPlays) {
  const std::filesystem::path list = SongDir() / "random.m3u";
  std::ofstream(list, std::ios::binary) << "#EXTM3U\n"
                                        << Utf16ToUtf8(Song("b.wav")) << "\n"
                                        << Utf16ToUtf8(Song("a.wav")) << "\n";
  AddToDatabase({U16FromPath(list)});
  Player.Next(false);
  EXPECT_EQ(Names(Player.History), NameList{Song("b.wav")});
  EXPECT_EQ(Names(Player.Queue), NameList{Song("a.wav")});
  EXPECT_EQ(Player.Current().IsPlaying, 1);
}

// --- steps that go through the skin -----------------------------------------

class TSkinRecorder : public TSkinLink {
 public:
  std::vector<std::string> Calls;
  void SelectMediaRow(int32_t index) override {
    Calls.push_back("select " + std::to_string(index));
  }
  void SetTrayTip(std::u16string_view text) override {
    Calls.push_back("tip " + Utf16ToUtf8(text));
  }
  std::u16string_view OnSong() const override { return u"script:OnSong"; }
  std::u16string_view OnTime() const override { return u""; }
  bool RunScript(std::string_view name) override {
    Calls.push_back("script " + std::string(name));
    return true;
  }
  bool RunOnTimeScript() override { return false; }
  void AdvanceScrolling() override {}
  void ShowMediaWindow() override {}
  void ShowVideoWindow() override {}
  void ShowAboutWindow() override {}
  void ShowSkinWindow(std::u16string_view) override {}
  bool LoadSkin(std::u16string_view) override { return true; }
};

TEST_F(PlaybackTest, OpeningADatabaseSongSelectsItsRowAndSetsTheTrayTip) {
  TMediaEntry entry;
  entry.Filename = Song("b.wav");
  MediaDB()->Add(entry);
  entry.Filename = Song("a.wav");
  entry.Title = u"A";
  MediaDB()->Add(entry);

  // Without a skin object the entry is not looked up at all.
  ASSERT_TRUE(Player.OpenStream(Song("a.wav"), 0));
  EXPECT_EQ(Player.Current().Entry, nullptr);

  TSkinRecorder skin;
  gSkinLink = &skin;
  ASSERT_TRUE(Player.OpenStream(Song("a.wav"), 0));
  EXPECT_EQ(Player.Current().Entry, MediaDB()->GetEntryPtr(1));
  EXPECT_EQ(skin.Calls, (std::vector<std::string>{"select 1", "tip A", "script ONSONG"}));

  MediaDB()->GetEntryPtr(0)->Artist = u"B";
  skin.Calls.clear();
  ASSERT_TRUE(Player.OpenStream(Song("b.wav"), 0));
  EXPECT_EQ(skin.Calls, (std::vector<std::string>{"select 0", "tip B", "script ONSONG"}));
  MediaDB()->GetEntryPtr(0)->Title = u"T";
  skin.Calls.clear();
  ASSERT_TRUE(Player.OpenStream(Song("b.wav"), 0));
  EXPECT_EQ(skin.Calls[1], "tip T - B");

  // A file outside the database keeps no entry and leaves the tip alone.
  skin.Calls.clear();
  ASSERT_TRUE(Player.OpenStream(Song("long.wav"), 0));
  EXPECT_EQ(Player.Current().Entry, nullptr);
  EXPECT_EQ(skin.Calls, std::vector<std::string>{"script ONSONG"});
}

TEST_F(PlaybackTest, ScriptsReadTheCurrentSongAndDriveThePlayer) {
  TMediaEntry entry;
  entry.Filename = Song("a.wav");
  entry.Title = u"Tone";
  MediaDB()->Add(entry);
  TSkinRecorder skin;
  gSkinLink = &skin;
  ASSERT_TRUE(Player.OpenStream(Song("a.wav"), 0));
  Player.Play();
  Player.Pause();
  Player.Enqueue(Song("b.wav"));

  TPlaybackScriptHost host(Player);
  TScriptengine engine;
  engine.SetHost(TScriptHost{&host, nullptr});
  ASSERT_TRUE(
      engine.CompileModule("module t;\r\nbegin\r\n  LOG get_title; LOG get_total_time; LOG "
                           "is_playing;\r\n  play; next\r\nend t;\r\n"));
  LogLines.clear();
  ASSERT_TRUE(engine.Run());
  std::vector<std::string> scriptLines;
  for (const std::string& line : LogLines) {
    if (line.starts_with("log: ")) scriptLines.push_back(line);
  }
  EXPECT_EQ(scriptLines, (std::vector<std::string>{"log: Tone", "log: 1000", "log: TRUE"}));
  // play resumed, next took the queue without crossfading.
  EXPECT_FALSE(Player.Paused);
  EXPECT_TRUE(Logged("stopped"));
  EXPECT_EQ(Player.History.back().FileName, Song("b.wav"));
  EXPECT_EQ(host.CurrentLength(), 800u);
  EXPECT_FALSE(host.CurrentEntry().has_value());
}

TEST_F(PlaybackTest, EmptyDatabaseEntryGivesTheProductNameAsTip) {
  AddToDatabase({Song("a.wav")});
  TSkinRecorder skin;
  gSkinLink = &skin;
  ASSERT_TRUE(Player.OpenStream(Song("a.wav"), 0));
  EXPECT_EQ(skin.Calls[1], "tip Vesperon");
}

}  // namespace
}  // namespace vesperon::testing
