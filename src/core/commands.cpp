#include "core/commands.h"

#include <charconv>
#include <limits>

#include "core/idle_path.h"
#include "core/log.h"
#include "core/skin_link.h"
#include "core/text.h"

namespace vesperon {

TSkinLink* gSkinLink = nullptr;

namespace {

TCommandPlayer* gPlayer = nullptr;

constexpr std::u16string_view kScriptPrefix = u"script:";

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool AllDigits(std::u16string_view text) {
  for (char16_t c : text) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

// digits* "." digits*
bool IsDecimalFraction(std::u16string_view text) {
  const size_t dot = text.find(u'.');
  if (dot == std::u16string_view::npos) return false;
  return AllDigits(text.substr(0, dot)) && AllDigits(text.substr(dot + 1));
}

int32_t SaturatedDecimal(std::u16string_view digits) {
  int64_t value = 0;
  for (char16_t c : digits) {
    value = value * 10 + (c - u'0');
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(value);
}

double DecimalFractionValue(std::u16string_view text) {
  // Only ASCII digits and one dot reach here, so the narrowing is exact;
  // from_chars ignores the locale's decimal separator.
  std::string ascii(text.begin(), text.end());
  if (ascii.front() == '.') ascii.insert(ascii.begin(), '0');
  double value = 0.0;
  std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  return value;
}

void WrongAmount(std::u16string_view name) {
  LogError(u"Wrong amount of parameters for function " + std::u16string(name));
}

// The single argument of a one-argument command, when it has the expected
// kind and a value; otherwise logs the matching error and returns null.
template <typename T>
const T* SingleArgument(const TParsedCommand& command, TArgType type,
                        std::u16string_view typeName) {
  if (command.Args.size() != 1) {
    WrongAmount(command.Name);
    return nullptr;
  }
  const TArg& arg = command.Args.front();
  const T* value = std::get_if<T>(&arg.Value);
  if (arg.Type != type || value == nullptr) {
    LogError(u"Expected " + std::u16string(typeName) + u" as parameter for function " +
             command.Name);
    return nullptr;
  }
  return value;
}

void ShowWindow(std::u16string_view name) {
  Log(u"show_window " + std::u16string(name));
  const std::u16string lower = AsciiLower(name);
  if (lower == u"media") {
    gSkinLink->ShowMediaWindow();
  } else if (lower == u"video") {
    gSkinLink->ShowVideoWindow();
  } else if (lower == u"about") {
    gSkinLink->ShowAboutWindow();
  } else {
    gSkinLink->ShowSkinWindow(name);
  }
}

void Dispatch(const TParsedCommand& command) {
  const std::u16string& name = command.Name;
  if (name == u"volume") {
    if (const int32_t* value = SingleArgument<int32_t>(command, atInteger, u"INTEGER")) {
      if (gPlayer) gPlayer->SetVolume(*value);
    }
  } else if (name == u"show_window") {
    if (const std::u16string* window =
            SingleArgument<std::u16string>(command, atString, u"STRING")) {
      ShowWindow(*window);
    }
  } else if (name == u"load_skin") {
    if (const std::u16string* skin = SingleArgument<std::u16string>(command, atString, u"STRING")) {
      Log(u"load_skin " + *skin);
      gSkinLink->LoadSkin(*skin);
    }
  } else if (gPlayer == nullptr) {
    return;
  } else if (name == u"play") {
    gPlayer->Play();
  } else if (name == u"stop") {
    gPlayer->Stop();
  } else if (name == u"break") {
    gPlayer->Pause();
  } else if (name == u"next") {
    gPlayer->Next(false);
  } else if (name == u"previous") {
    gPlayer->Previous(false);
  }
}

}  // namespace

TArg ClassifyArgument(std::u16string_view text) {
  const std::u16string lower = AsciiLower(text);
  if (lower == u"true" || lower == u"false") return TArg{lower == u"true", atBoolean};
  if (text.empty()) return TArg{std::monostate{}, atInteger};
  if (AllDigits(text)) return TArg{SaturatedDecimal(text), atInteger};
  if (IsDecimalFraction(text)) return TArg{DecimalFractionValue(text), atDouble};
  return TArg{std::u16string(text), atString};
}

TParsedCommand ParseCommand(std::u16string_view text) {
  TParsedCommand command;
  const size_t open = text.find(u'(');
  command.Name = AsciiLower(text.substr(0, open));
  if (open == std::u16string_view::npos) return command;
  // The last character closes the list, whatever it is.
  const size_t restBegin = open + 1;
  const size_t restEnd = text.size() - 1;
  if (restEnd <= restBegin) return command;
  std::u16string_view rest = text.substr(restBegin, restEnd - restBegin);
  for (size_t comma = rest.find(u','); comma != std::u16string_view::npos;
       comma = rest.find(u',')) {
    command.Args.push_back(ClassifyArgument(rest.substr(0, comma)));
    rest.remove_prefix(comma + 1);
  }
  if (!rest.empty()) command.Args.push_back(ClassifyArgument(rest));
  return command;
}

void SetCommandPlayer(TCommandPlayer* player) { gPlayer = player; }

namespace {

// A parsed command with, for a "script:" command, its module name in upper
// case, converted to 8-bit text once here rather than on every run.
struct TReadyCommand {
  TParsedCommand Command;
  std::string ScriptName;
  bool IsScript = false;
};

TReadyCommand Prepare(std::u16string_view text) {
  TReadyCommand ready{ParseCommand(text), {}, false};
  ready.IsScript = ready.Command.Name.starts_with(kScriptPrefix);
  if (ready.IsScript)
    ready.ScriptName = Utf16ToCp1252(
        AsciiUpper(std::u16string_view(ready.Command.Name).substr(kScriptPrefix.size())));
  return ready;
}

void RunPrepared(const TReadyCommand& ready) {
  // A script name that matches no module falls through to the command
  // table, where a "script:" name matches nothing either.
  if (ready.IsScript) {
    gSkinLink->RunScript(ready.ScriptName);
    return;
  }
  Dispatch(ready.Command);
}

}  // namespace

std::optional<std::string> ScriptCommandName(std::u16string_view text) {
  TReadyCommand ready = Prepare(text);
  if (!ready.IsScript) return std::nullopt;
  return std::move(ready.ScriptName);
}

void RunCommand(std::u16string_view text) {
  if (gSkinLink == nullptr) return;
  RunPrepared(Prepare(text));
}

void RunOnSongCommand() {
  if (gSkinLink != nullptr) RunCommand(gSkinLink->OnSong());
}

VESPERON_IDLE_PATH void RunOnTimeCommand() {
  if (gSkinLink == nullptr) return;
  // A script, the usual OnTime command, is found by the skin when it loads.
  if (gSkinLink->RunOnTimeScript()) return;
  // Run on every slow tick, the skin's string is parsed again only when it
  // differs from the last one.
  static std::u16string lastText;
  static TReadyCommand last = Prepare(lastText);
  if (const std::u16string_view text = gSkinLink->OnTime(); text != lastText) {
    last = Prepare(text);
    lastText = text;
  }
  // The command may replace the skin and with it the string: the prepared
  // command it runs is a copy only when that may happen.
  if (last.IsScript) {
    gSkinLink->RunScript(last.ScriptName);
  } else {
    RunPrepared(TReadyCommand(last));
  }
}

}  // namespace vesperon
