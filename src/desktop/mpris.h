#pragma once
// MPRIS 2 (the desktop's media-player interface) on the session bus: the
// root interface org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player
// at /org/mpris/MediaPlayer2. Desktop sound menus, media-key daemons and
// playerctl find the player through it.
//
// The service asks a TMprisPlayer for every value when a client reads it,
// and Refresh() (called after every main-loop pass) compares what clients
// last saw with the player's state and sends PropertiesChanged for what
// differs, so changes made by the player's own buttons, keys and song ends
// reach the desktop too.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "desktop/session_bus.h"

namespace vesperon::desktop {

enum TMprisStatus { psStopped, psPlaying, psPaused };

// The song as MPRIS shows it. Id counts the songs opened in this process,
// so two openings of the same file are two tracks.
struct TMprisTrack {
  uint64_t Id = 0;  // 0: no track
  std::string Url;  // file:// URI
  std::string Title, Artist, Album;
  int64_t LengthUs = 0;
  bool operator==(const TMprisTrack&) const = default;
};

// The player as the service drives it. Every operation reaches the player's
// own transport, so crossfade, queue, history and random choice behave as
// with its buttons.
class TMprisPlayer {
 public:
  virtual ~TMprisPlayer() = default;
  virtual TMprisStatus Status() = 0;
  // The id of the song now opened (0: none); cheap, asked on every pass.
  virtual uint64_t TrackId() = 0;
  virtual TMprisTrack Track() = 0;
  virtual int64_t PositionUs() = 0;
  // The master volume, 0-255.
  virtual int32_t Volume() = 0;
  virtual void SetVolume(int32_t value) = 0;
  virtual bool CanPlay() = 0;
  virtual bool CanGoNext() = 0;
  virtual bool CanGoPrevious() = 0;
  // False when the audio library cannot move a playing channel.
  virtual bool CanSeek() = 0;
  virtual void Play() = 0;
  virtual void Pause() = 0;
  virtual void Stop() = 0;
  virtual void Next() = 0;
  virtual void Previous() = 0;
  // Moves the current song to the position (clamped to the song by the
  // service); false when it cannot.
  virtual bool SetPositionUs(int64_t position) = 0;
  // Queues an existing local file and plays it.
  virtual void OpenFile(const std::string& path) = 0;
  virtual void Raise() = 0;
  virtual void Quit() = 0;
};

// What the root interface tells about the program.
struct TMprisIdentity {
  std::string Identity = "Vesperon";
  std::string DesktopEntry = "vesperon";
  std::vector<std::string> MimeTypes;
};

class TMprisService {
 public:
  TMprisService(TSessionBus& bus, TMprisPlayer& player, TMprisIdentity identity);
  ~TMprisService();
  TMprisService(const TMprisService&) = delete;
  TMprisService& operator=(const TMprisService&) = delete;

  // Publishes both interfaces; false when the bus refuses them.
  bool Publish();
  // Sends PropertiesChanged for the status, song, volume and Can* flags
  // that differ from what was last announced.
  void Refresh();

  // Handlers of the vtables (public for the C callbacks only).
  TMprisPlayer& Player() { return Player_; }
  const TMprisIdentity& Identity() const { return Identity_; }
  bool KnownTrack(const std::string& objectPath);

 private:
  struct TAnnounced {
    TMprisStatus Status = psStopped;
    uint64_t TrackId = 0;
    int32_t Volume = -1;
    bool CanPlay = false, CanGoNext = false, CanGoPrevious = false, CanSeek = false;
  };
  TAnnounced Snapshot();

  TSessionBus& Bus_;
  TMprisPlayer& Player_;
  TMprisIdentity Identity_;
  sd_bus_slot* RootSlot_ = nullptr;
  sd_bus_slot* PlayerSlot_ = nullptr;
  std::optional<TAnnounced> Announced_;
};

// The object path of a track id ("/org/vesperon/track/N"; id 0 is MPRIS's
// "no track" path).
std::string TrackObjectPath(uint64_t id);
// The local path of a file:// URI (percent escapes decoded); nothing for
// another scheme, a remote host or a malformed escape.
std::optional<std::string> PathFromFileUri(const std::string& uri);
// The file:// URI of an absolute path, escaping what URIs do not carry.
std::string FileUriFromPath(const std::string& path);
// The MPRIS volume (0.0-1.0, values outside clamped) as 0-255, rounded.
int32_t VolumeFromMpris(double volume);

}  // namespace vesperon::desktop
