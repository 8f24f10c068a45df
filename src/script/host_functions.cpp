#include "script/host_functions.h"

#include "core/idle_path.h"
#include "core/random.h"
#include "core/text.h"
#include "script/interpreter.h"

namespace vesperon {

const std::array<THostFunction, kHostFunctionCount> kHostFunctions = {{
    {"GET_CURRENT_TIME", 0, 0, {vtVoid, vtVoid}, vtInteger},
    {"GET_TOTAL_TIME", 1, 0, {vtVoid, vtVoid}, vtInteger},
    {"IS_PLAYING", 2, 0, {vtVoid, vtVoid}, vtBoolean},
    {"GET_ARTIST", 3, 0, {vtVoid, vtVoid}, vtString},
    {"GET_TITLE", 4, 0, {vtVoid, vtVoid}, vtString},
    {"GET_ALBUM", 5, 0, {vtVoid, vtVoid}, vtString},
    {"GET_GENRE", 6, 0, {vtVoid, vtVoid}, vtString},
    {"GET_RANDOM_VALUE", 7, 2, {vtInteger, vtInteger}, vtInteger},
    {"SET_TEXT", 8, 2, {vtString, vtString}, vtVoid},
    {"INTTOSTR", 9, 1, {vtInteger, vtVoid}, vtString},
    {"SET_VISIBLE", 10, 2, {vtString, vtBoolean}, vtVoid},
    {"PLAY", 11, 0, {vtVoid, vtVoid}, vtVoid},
    {"STOP", 12, 0, {vtVoid, vtVoid}, vtVoid},
    {"PAUSE", 13, 0, {vtVoid, vtVoid}, vtVoid},
    {"NEXT", 14, 0, {vtVoid, vtVoid}, vtVoid},
    {"PREVIOUS", 15, 0, {vtVoid, vtVoid}, vtVoid},
    {"TIMETOSTR", 16, 1, {vtInteger, vtVoid}, vtString},
    {"GET_PROGRESSBAR_POSITION", 17, 1, {vtString, vtVoid}, vtInteger},
    {"SET_PROGRESSBAR_POSITION", 18, 2, {vtString, vtInteger}, vtVoid},
    {"SET_PROGRESSBAR_MAX", 19, 2, {vtString, vtInteger}, vtVoid},
}};

namespace {

// Lo + random(Hi - Lo) with the player's generator; Lo when Hi is not above
// Lo. Ranges beyond 32 bits take two draws.
int64_t RandomValue(int64_t lo, int64_t hi) {
  if (hi <= lo) return lo;
  const uint64_t range = static_cast<uint64_t>(hi) - static_cast<uint64_t>(lo);
  uint64_t draw = 0;
  if (range <= UINT32_MAX) {
    draw = Random(static_cast<uint32_t>(range));
  } else {
    draw = ((static_cast<uint64_t>(Random(UINT32_MAX)) << 32) | Random(UINT32_MAX)) % range;
  }
  return static_cast<int64_t>(static_cast<uint64_t>(lo) + draw);
}

std::string TwoDigits(uint64_t value) { return (value < 10 ? "0" : "") + std::to_string(value); }

// The tag text of the current entry, or `missing` when there is none.
std::string EntryText(const TScriptHost& host, std::u16string TScriptSongTags::*field,
                      std::string_view missing) {
  if (host.Player == nullptr) return std::string(missing);
  const std::optional<TScriptSongTags> tags = host.Player->CurrentEntry();
  if (!tags) return std::string(missing);
  return Utf16ToCp1252((*tags).*field);
}

void CallSkin(const TScriptHost& host, int64_t number, TScriptMachine& machine) {
  switch (number) {
    case 8: {  // SET_TEXT(Name, Text)
      const std::string text = machine.PopString();
      const std::string name = machine.PopString();
      if (host.Skin) host.Skin->SetLabelText(name, text);
      return;
    }
    case 10: {  // SET_VISIBLE(Name, Flag)
      const bool visible = machine.Pop() != 0;
      const std::string name = machine.PopString();
      if (host.Skin) host.Skin->SetItemVisible(name, visible);
      return;
    }
    case 17: {  // GET_PROGRESSBAR_POSITION(Name)
      const std::string name = machine.PopString();
      machine.Push(host.Skin ? host.Skin->ProgressBarPosition(name) : 0);
      return;
    }
    case 18:    // SET_PROGRESSBAR_POSITION(Name, Position)
    case 19: {  // SET_PROGRESSBAR_MAX(Name, Maximum)
      const int64_t value = machine.Pop();
      const std::string name = machine.PopString();
      if (host.Skin == nullptr) return;
      if (number == 18) host.Skin->SetProgressBarPosition(name, value);
      else host.Skin->SetProgressBarMax(name, value);
      return;
    }
  }
}

void CallPlayer(const TScriptHost& host, int64_t number) {
  TScriptPlayerHost* player = host.Player;
  if (player == nullptr) return;
  switch (number) {
    case 11: player->Play(); return;
    case 12: player->Stop(); return;
    case 13: player->Pause(); return;
    case 14: player->Next(); return;
    case 15: player->Previous(); return;
  }
}

}  // namespace

std::string TimeToStr(int64_t seconds) {
  const bool negative = seconds < 0;
  const uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(seconds) : static_cast<uint64_t>(seconds);
  return (negative ? "-" : "") + TwoDigits(magnitude / 60) + ":" + TwoDigits(magnitude % 60);
}

VESPERON_IDLE_PATH void CallHostFunction(int64_t number, TScriptMachine& machine,
                                         const TScriptHost& host) {
  switch (number) {
    case 0: machine.Push(host.Player ? host.Player->CurrentPosition() : 0); return;
    case 1: machine.Push(host.Player ? host.Player->CurrentLength() : 0); return;
    case 2: machine.Push(host.Player && host.Player->Paused() ? 1 : 0); return;
    case 3: machine.PushString(EntryText(host, &TScriptSongTags::Artist, "no_artist")); return;
    case 4: machine.PushString(EntryText(host, &TScriptSongTags::Title, "no_title")); return;
    case 5: machine.PushString(EntryText(host, &TScriptSongTags::Album, "no_album")); return;
    case 6: machine.PushString(EntryText(host, &TScriptSongTags::Genre, "no_genre")); return;
    case 7: {
      const int64_t hi = machine.Pop();
      const int64_t lo = machine.Pop();
      machine.Push(RandomValue(lo, hi));
      return;
    }
    case 9: machine.PushString(std::to_string(machine.Pop())); return;
    case 16: machine.PushString(TimeToStr(machine.Pop())); return;
    case 8:
    case 10:
    case 17:
    case 18:
    case 19: CallSkin(host, number, machine); return;
    case 11:
    case 12:
    case 13:
    case 14:
    case 15: CallPlayer(host, number); return;
    default: throw TScriptRunError("unknown host function " + std::to_string(number));
  }
}

}  // namespace vesperon
