#pragma once
// Command strings: the small language of button functions, key bindings and
// the skin's event strings. A command string is a name, optionally followed by
// arguments in parentheses (play, volume(128), show_window(media)), or
// "script:" followed by the name of one of the skin's script modules.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vesperon {

enum TArgType { atInteger, atString, atBoolean, atDouble };

// One parsed argument. An empty argument (two adjacent commas, or a comma
// right after the opening parenthesis) is classified atInteger, because it
// has no character that is not a digit, but it carries no value: Value then
// holds std::monostate and commands refuse it like an argument of the wrong
// type.
struct TArg {
  std::variant<std::monostate, int32_t, std::u16string, bool, double> Value;
  TArgType Type = atInteger;
};

// The name (lower-cased) and the arguments of one command string.
struct TParsedCommand {
  std::u16string Name;
  std::vector<TArg> Args;
};

// Splits a command string into its name and arguments. The text after the
// first "(" up to, but not including, the last character is the argument
// list, whatever that last character is; pieces are split at "," and never
// trimmed.
TParsedCommand ParseCommand(std::u16string_view text);
// Classifies one argument text: boolean, integer, double, else string.
// Integers too large for 32 bits saturate at the largest value.
TArg ClassifyArgument(std::u16string_view text);
// The upper-cased 8-bit module name of a "script:" command string; nothing
// for any other command.
std::optional<std::string> ScriptCommandName(std::u16string_view text);

// The player operations command strings drive. The playback controller
// implements them and installs itself with SetCommandPlayer; the core cannot
// depend on the audio subsystem directly.
class TCommandPlayer {
 public:
  virtual ~TCommandPlayer() = default;
  virtual bool Play() = 0;
  virtual bool Stop() = 0;
  virtual bool Pause() = 0;
  virtual bool Next(bool crossfading) = 0;
  virtual bool Previous(bool crossfading) = 0;
  virtual bool SetVolume(int32_t value) = 0;
};
void SetCommandPlayer(TCommandPlayer* player);

// Parses and runs a command string. Does nothing at all while no skin object
// exists (gSkinLink is null). Unknown names, missing scripts and superfluous
// arguments are ignored silently; only a wrong argument count or type for
// volume, show_window and load_skin is reported.
void RunCommand(std::u16string_view text);

// Run the skin's OnSong / OnTime command string, when a skin object exists.
void RunOnSongCommand();
void RunOnTimeCommand();

}  // namespace vesperon
