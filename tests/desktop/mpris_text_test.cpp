// What the MPRIS service takes from clients and gives them as text: file
// URIs both ways, the volume scale, track paths and bus-safe UTF-8.
#include <gtest/gtest.h>

#include <cmath>

#include "desktop/mpris.h"

namespace vesperon::desktop {
namespace {

TEST(FileUriTest, LocalFileUrisGiveTheirPath) {
  EXPECT_EQ(PathFromFileUri("file:///home/me/a%20b.mp3"), "/home/me/a b.mp3");
  EXPECT_EQ(PathFromFileUri("FILE:///x.mp3"), "/x.mp3");
  EXPECT_EQ(PathFromFileUri("file://localhost/x.mp3"), "/x.mp3");
  EXPECT_EQ(PathFromFileUri("file:///caf%C3%A9%2f.mp3"), "/caf\xC3\xA9/.mp3");
  // A legacy name's stray byte survives.
  EXPECT_EQ(PathFromFileUri("file:///%E9t%E9.mp3"), "/\xE9t\xE9.mp3");
  EXPECT_EQ(PathFromFileUri("file:///song.mp3?query#part"), "/song.mp3");
}

TEST(FileUriTest, EverythingElseIsRefused) {
  for (const char* uri :
       {"", "file:", "file://", "http://host/x.mp3", "/plain/path.mp3", "file://host/x.mp3",
        "file:relative.mp3", "file:///bad%zzescape", "file:///cut%4", "file:///cut%",
        "file:///nul%00byte", "file://localhostx/y"}) {
    EXPECT_EQ(PathFromFileUri(uri), std::nullopt) << uri;
  }
}

TEST(FileUriTest, PathsRoundTripThroughUris) {
  for (const std::string path :
       {"/a/b c.mp3", "/100%/#1?.ogg", "/\xE9t\xE9/caf\xC3\xA9.flac", "/x/\"<&>\".wav"}) {
    const std::string uri = FileUriFromPath(path);
    EXPECT_EQ(uri.find_first_of(" #?\"<>"), std::string::npos) << uri;
    EXPECT_EQ(PathFromFileUri(uri), path) << uri;
  }
  EXPECT_EQ(FileUriFromPath("/music/a b.mp3"), "file:///music/a%20b.mp3");
}

TEST(MprisVolumeTest, ClientVolumesMapOntoTheMasterVolume) {
  EXPECT_EQ(VolumeFromMpris(0.5), 128);
  EXPECT_EQ(VolumeFromMpris(1.0), 255);
  EXPECT_EQ(VolumeFromMpris(0.0), 0);
  EXPECT_EQ(VolumeFromMpris(-3.0), 0);
  EXPECT_EQ(VolumeFromMpris(7.0), 255);
  EXPECT_EQ(VolumeFromMpris(std::nan("")), 0);
  EXPECT_EQ(VolumeFromMpris(INFINITY), 255);
  // Every master volume survives the trip to the client and back.
  for (int v = 0; v <= 255; ++v) EXPECT_EQ(VolumeFromMpris(v / 255.0), v);
}

TEST(MprisTrackTest, TrackPathsAndBusText) {
  EXPECT_EQ(TrackObjectPath(0), "/org/mpris/MediaPlayer2/TrackList/NoTrack");
  EXPECT_EQ(TrackObjectPath(12), "/org/vesperon/track/12");
  EXPECT_EQ(BusText(u"caf\u00e9"), "caf\xC3\xA9");
  // Lone surrogates (stray bytes of a legacy name) become U+FFFD; pairs stay.
  EXPECT_EQ(BusText(std::u16string(u"a") + char16_t(0xDCE9) + u"b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(BusText(std::u16string(1, char16_t(0xD83C)) + char16_t(0xDFB5)), "\xF0\x9F\x8E\xB5");
  EXPECT_EQ(BusText(std::u16string(1, char16_t(0xD83C))), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace vesperon::desktop
