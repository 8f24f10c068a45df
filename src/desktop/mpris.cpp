#include "desktop/mpris.h"

#include <systemd/sd-bus.h>

#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/log.h"

namespace vesperon::desktop {
namespace {

constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
constexpr const char* kRootInterface = "org.mpris.MediaPlayer2";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* kTrackPathPrefix = "/org/vesperon/track/";
constexpr const char* kNoTrackPath = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

TMprisService& ServiceOf(void* userdata) { return *static_cast<TMprisService*>(userdata); }
TMprisPlayer& PlayerOf(void* userdata) { return ServiceOf(userdata).Player(); }

// --- building replies --------------------------------------------------------

int AppendStringArray(sd_bus_message* m, const std::vector<std::string>& items) {
  int r = sd_bus_message_open_container(m, 'a', "s");
  for (const std::string& item : items) {
    if (r >= 0) r = sd_bus_message_append(m, "s", item.c_str());
  }
  return r < 0 ? r : sd_bus_message_close_container(m);
}

// One "name": <variant> entry of a metadata dictionary.
template <typename T>
int AppendEntry(sd_bus_message* m, const char* key, const char* type, T value) {
  int r = sd_bus_message_open_container(m, 'e', "sv");
  if (r >= 0) r = sd_bus_message_append(m, "s", key);
  if (r >= 0) r = sd_bus_message_open_container(m, 'v', type);
  if (r >= 0) r = sd_bus_message_append(m, type, value);
  if (r >= 0) r = sd_bus_message_close_container(m);
  return r < 0 ? r : sd_bus_message_close_container(m);
}

int AppendArtistEntry(sd_bus_message* m, const std::string& artist) {
  int r = sd_bus_message_open_container(m, 'e', "sv");
  if (r >= 0) r = sd_bus_message_append(m, "s", "xesam:artist");
  if (r >= 0) r = sd_bus_message_open_container(m, 'v', "as");
  if (r >= 0) r = AppendStringArray(m, {artist});
  if (r >= 0) r = sd_bus_message_close_container(m);
  return r < 0 ? r : sd_bus_message_close_container(m);
}

int AppendMetadata(sd_bus_message* m, const TMprisTrack& track) {
  int r = sd_bus_message_open_container(m, 'a', "{sv}");
  const std::string path = TrackObjectPath(track.Id);
  if (r >= 0) r = AppendEntry(m, "mpris:trackid", "o", path.c_str());
  if (track.Id != 0) {
    if (r >= 0 && track.LengthUs > 0) r = AppendEntry(m, "mpris:length", "x", track.LengthUs);
    if (r >= 0 && !track.Url.empty()) r = AppendEntry(m, "xesam:url", "s", track.Url.c_str());
    if (r >= 0 && !track.Title.empty()) r = AppendEntry(m, "xesam:title", "s", track.Title.c_str());
    if (r >= 0 && !track.Artist.empty()) r = AppendArtistEntry(m, track.Artist);
    if (r >= 0 && !track.Album.empty()) r = AppendEntry(m, "xesam:album", "s", track.Album.c_str());
  }
  return r < 0 ? r : sd_bus_message_close_container(m);
}

const char* StatusName(TMprisStatus status) {
  switch (status) {
    case psPlaying: return "Playing";
    case psPaused: return "Paused";
    default: return "Stopped";
  }
}

// --- root interface ----------------------------------------------------------

int MethodRaise(sd_bus_message* m, void* userdata, sd_bus_error*) {
  PlayerOf(userdata).Raise();
  return sd_bus_reply_method_return(m, "");
}

int MethodQuit(sd_bus_message* m, void* userdata, sd_bus_error*) {
  PlayerOf(userdata).Quit();
  return sd_bus_reply_method_return(m, "");
}

int GetTrue(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
            sd_bus_error*) {
  return sd_bus_message_append(reply, "b", 1);
}

int GetFalse(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
             sd_bus_error*) {
  return sd_bus_message_append(reply, "b", 0);
}

int GetIdentity(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                void* userdata, sd_bus_error*) {
  return sd_bus_message_append(reply, "s", ServiceOf(userdata).Identity().Identity.c_str());
}

int GetDesktopEntry(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                    void* userdata, sd_bus_error*) {
  return sd_bus_message_append(reply, "s", ServiceOf(userdata).Identity().DesktopEntry.c_str());
}

int GetUriSchemes(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                  sd_bus_error*) {
  return AppendStringArray(reply, {"file"});
}

int GetMimeTypes(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                 void* userdata, sd_bus_error*) {
  return AppendStringArray(reply, ServiceOf(userdata).Identity().MimeTypes);
}

const sd_bus_vtable kRootVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Raise", "", "", MethodRaise, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Quit", "", "", MethodQuit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("CanQuit", "b", GetTrue, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("CanRaise", "b", GetTrue, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("HasTrackList", "b", GetFalse, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Identity", "s", GetIdentity, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("DesktopEntry", "s", GetDesktopEntry, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("SupportedUriSchemes", "as", GetUriSchemes, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("SupportedMimeTypes", "as", GetMimeTypes, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END};

// --- player interface: methods -----------------------------------------------

// One transport method without arguments: runs the player's operation and
// answers with an empty reply.
// A change a client asked for is announced before the reply, so two calls
// in quick succession (pause, then play) are both seen; changes from the
// player's own buttons and song ends wait for the next Refresh.
int ReplyAfterChange(sd_bus_message* m, void* userdata) {
  ServiceOf(userdata).Refresh();
  return sd_bus_reply_method_return(m, "");
}

template <void (TMprisPlayer::*Operation)()>
int Transport(sd_bus_message* m, void* userdata, sd_bus_error*) {
  (PlayerOf(userdata).*Operation)();
  return ReplyAfterChange(m, userdata);
}

int MethodPlayPause(sd_bus_message* m, void* userdata, sd_bus_error*) {
  TMprisPlayer& player = PlayerOf(userdata);
  if (player.Status() == psPlaying) {
    player.Pause();
  } else {
    player.Play();
  }
  return ReplyAfterChange(m, userdata);
}

// a + b, held within the range of int64 so a client's huge offset cannot
// overflow.
int64_t SaturatingAdd(int64_t a, int64_t b) {
  if (b > 0 && a > std::numeric_limits<int64_t>::max() - b)
    return std::numeric_limits<int64_t>::max();
  if (b < 0 && a < std::numeric_limits<int64_t>::min() - b)
    return std::numeric_limits<int64_t>::min();
  return a + b;
}

// Moves within the current song: before its start means its start, past
// its end means the next song.
void MoveTo(TMprisService& service, sd_bus* bus, int64_t target) {
  TMprisPlayer& player = service.Player();
  const int64_t length = player.Track().LengthUs;
  if (target < 0) target = 0;
  if (length > 0 && target >= length) {
    player.Next();
    return;
  }
  if (player.SetPositionUs(target)) {
    sd_bus_emit_signal(bus, kObjectPath, kPlayerInterface, "Seeked", "x", target);
  }
}

int MethodSeek(sd_bus_message* m, void* userdata, sd_bus_error*) {
  int64_t offset = 0;
  const int r = sd_bus_message_read(m, "x", &offset);
  if (r < 0) return r;
  TMprisService& service = ServiceOf(userdata);
  if (service.Player().CanSeek() && service.Player().Track().Id != 0) {
    MoveTo(service, sd_bus_message_get_bus(m),
           SaturatingAdd(service.Player().PositionUs(), offset));
  }
  return sd_bus_reply_method_return(m, "");
}

int MethodSetPosition(sd_bus_message* m, void* userdata, sd_bus_error*) {
  const char* track = nullptr;
  int64_t position = 0;
  const int r = sd_bus_message_read(m, "ox", &track, &position);
  if (r < 0) return r;
  TMprisService& service = ServiceOf(userdata);
  // A stale track id or a position outside the song is ignored, as MPRIS
  // asks, so a slow client cannot move the wrong song.
  const int64_t length = service.Player().Track().LengthUs;
  if (service.Player().CanSeek() && service.KnownTrack(track) && position >= 0 &&
      position <= length) {
    if (service.Player().SetPositionUs(position)) {
      sd_bus_emit_signal(sd_bus_message_get_bus(m), kObjectPath, kPlayerInterface, "Seeked", "x",
                         position);
    }
  }
  return sd_bus_reply_method_return(m, "");
}

int MethodOpenUri(sd_bus_message* m, void* userdata, sd_bus_error* error) {
  const char* uri = nullptr;
  const int r = sd_bus_message_read(m, "s", &uri);
  if (r < 0) return r;
  const std::optional<std::string> path = PathFromFileUri(uri);
  if (!path)
    return sd_bus_error_set(error, SD_BUS_ERROR_INVALID_ARGS,
                            "only file:// URIs of local files are played");
  if (access(path->c_str(), R_OK) != 0) {
    return sd_bus_error_setf(error, "org.freedesktop.DBus.Error.FileNotFound", "cannot read %s",
                             path->c_str());
  }
  Log("D-Bus: open " + *path);
  PlayerOf(userdata).OpenFile(*path);
  return ReplyAfterChange(m, userdata);
}

// --- player interface: properties --------------------------------------------

int GetStatus(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* userdata,
              sd_bus_error*) {
  return sd_bus_message_append(reply, "s", StatusName(PlayerOf(userdata).Status()));
}

int GetMetadata(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                void* userdata, sd_bus_error*) {
  return AppendMetadata(reply, PlayerOf(userdata).Track());
}

int GetVolume(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* userdata,
              sd_bus_error*) {
  return sd_bus_message_append(reply, "d", PlayerOf(userdata).Volume() / 255.0);
}

int SetVolume(sd_bus*, const char*, const char*, const char*, sd_bus_message* value, void* userdata,
              sd_bus_error*) {
  double volume = 0;
  const int r = sd_bus_message_read(value, "d", &volume);
  if (r < 0) return r;
  PlayerOf(userdata).SetVolume(VolumeFromMpris(volume));
  ServiceOf(userdata).Refresh();
  return 1;
}

int GetPosition(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                void* userdata, sd_bus_error*) {
  return sd_bus_message_append(reply, "x", PlayerOf(userdata).PositionUs());
}

int GetRate(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
            sd_bus_error*) {
  return sd_bus_message_append(reply, "d", 1.0);
}

// A Can* property read from the player.
template <bool (TMprisPlayer::*Query)()>
int GetCan(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* userdata,
           sd_bus_error*) {
  return sd_bus_message_append(reply, "b", (PlayerOf(userdata).*Query)() ? 1 : 0);
}

int GetCanPause(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                void* userdata, sd_bus_error*) {
  return sd_bus_message_append(reply, "b", PlayerOf(userdata).Status() != psStopped ? 1 : 0);
}

constexpr uint64_t kChanges = SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE;

const sd_bus_vtable kPlayerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Next", "", "", Transport<&TMprisPlayer::Next>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Previous", "", "", Transport<&TMprisPlayer::Previous>,
                  SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Pause", "", "", Transport<&TMprisPlayer::Pause>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("PlayPause", "", "", MethodPlayPause, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Stop", "", "", Transport<&TMprisPlayer::Stop>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Play", "", "", Transport<&TMprisPlayer::Play>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Seek", "x", "", MethodSeek, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SetPosition", "ox", "", MethodSetPosition, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("OpenUri", "s", "", MethodOpenUri, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("Seeked", "x", 0),
    SD_BUS_PROPERTY("PlaybackStatus", "s", GetStatus, 0, kChanges),
    SD_BUS_PROPERTY("Rate", "d", GetRate, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Metadata", "a{sv}", GetMetadata, 0, kChanges),
    SD_BUS_WRITABLE_PROPERTY("Volume", "d", GetVolume, SetVolume, 0,
                             kChanges | SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("Position", "x", GetPosition, 0, 0),
    SD_BUS_PROPERTY("MinimumRate", "d", GetRate, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("MaximumRate", "d", GetRate, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("CanGoNext", "b", GetCan<&TMprisPlayer::CanGoNext>, 0, kChanges),
    SD_BUS_PROPERTY("CanGoPrevious", "b", GetCan<&TMprisPlayer::CanGoPrevious>, 0, kChanges),
    SD_BUS_PROPERTY("CanPlay", "b", GetCan<&TMprisPlayer::CanPlay>, 0, kChanges),
    SD_BUS_PROPERTY("CanPause", "b", GetCanPause, 0, kChanges),
    SD_BUS_PROPERTY("CanSeek", "b", GetCan<&TMprisPlayer::CanSeek>, 0, kChanges),
    SD_BUS_PROPERTY("CanControl", "b", GetTrue, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string TrackObjectPath(uint64_t id) {
  return id == 0 ? std::string(kNoTrackPath) : kTrackPathPrefix + std::to_string(id);
}

std::optional<std::string> PathFromFileUri(const std::string& uri) {
  constexpr std::string_view kScheme = "file://";
  if (uri.size() < kScheme.size() ||
      strncasecmp(uri.c_str(), kScheme.data(), kScheme.size()) != 0) {
    return std::nullopt;
  }
  std::string_view rest = std::string_view(uri).substr(kScheme.size());
  // Only this machine: an empty host or "localhost".
  if (rest.starts_with("localhost/")) rest.remove_prefix(std::strlen("localhost"));
  if (!rest.starts_with('/')) return std::nullopt;
  std::string path;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '?' || rest[i] == '#') break;
    if (rest[i] != '%') {
      path += rest[i];
      continue;
    }
    const int high = i + 2 < rest.size() ? HexValue(rest[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(rest[i + 2]) : -1;
    if (low < 0) return std::nullopt;
    // A NUL would cut the name short on its way to the file system.
    if (high == 0 && low == 0) return std::nullopt;
    path += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return path;
}

std::string FileUriFromPath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (const unsigned char c : path) {
    if (std::isalnum(c) != 0 || std::strchr("/-._~!$&'()*+,;=:@", c) != nullptr) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

int32_t VolumeFromMpris(double volume) {
  if (!(volume > 0)) return 0;  // negative values and NaN
  if (volume >= 1) return 255;
  return static_cast<int32_t>(std::lround(volume * 255.0));
}

TMprisService::TMprisService(TSessionBus& bus, TMprisPlayer& player, TMprisIdentity identity)
    : Bus_(bus), Player_(player), Identity_(std::move(identity)) {}

TMprisService::~TMprisService() {
  sd_bus_slot_unref(PlayerSlot_);
  sd_bus_slot_unref(RootSlot_);
}

bool TMprisService::Publish() {
  if (!Bus_.IsOpen()) return false;
  int r = sd_bus_add_object_vtable(Bus_.Bus(), &RootSlot_, kObjectPath, kRootInterface, kRootVtable,
                                   this);
  if (r >= 0) {
    r = sd_bus_add_object_vtable(Bus_.Bus(), &PlayerSlot_, kObjectPath, kPlayerInterface,
                                 kPlayerVtable, this);
  }
  if (r < 0) {
    Log(std::string("D-Bus: cannot publish the media-player interface: ") + std::strerror(-r));
    return false;
  }
  Announced_ = Snapshot();
  return true;
}

bool TMprisService::KnownTrack(const std::string& objectPath) {
  const uint64_t id = Player_.TrackId();
  return id != 0 && objectPath == TrackObjectPath(id);
}

TMprisService::TAnnounced TMprisService::Snapshot() {
  return {Player_.Status(),    Player_.TrackId(),       Player_.Volume(), Player_.CanPlay(),
          Player_.CanGoNext(), Player_.CanGoPrevious(), Player_.CanSeek()};
}

void TMprisService::Refresh() {
  if (!Bus_.IsOpen() || PlayerSlot_ == nullptr || !Announced_) return;
  const TAnnounced now = Snapshot();
  const TAnnounced& was = *Announced_;
  std::vector<const char*> changed;
  if (now.Status != was.Status) {
    changed.push_back("PlaybackStatus");
    changed.push_back("CanPause");
  }
  if (now.TrackId != was.TrackId) changed.push_back("Metadata");
  if (now.Volume != was.Volume) changed.push_back("Volume");
  if (now.CanPlay != was.CanPlay) changed.push_back("CanPlay");
  if (now.CanGoNext != was.CanGoNext) changed.push_back("CanGoNext");
  if (now.CanGoPrevious != was.CanGoPrevious) changed.push_back("CanGoPrevious");
  if (now.CanSeek != was.CanSeek) changed.push_back("CanSeek");
  Announced_ = now;
  if (changed.empty()) return;
  changed.push_back(nullptr);
  const int r = sd_bus_emit_properties_changed_strv(Bus_.Bus(), kObjectPath, kPlayerInterface,
                                                    const_cast<char**>(changed.data()));
  if (r < 0) Log(std::string("D-Bus: cannot announce a change: ") + std::strerror(-r));
}

}  // namespace vesperon::desktop
