#include <gtest/gtest.h>

#include "core/config_xml.h"
#include "core/keys.h"
#include "core/language.h"
#include "test_folder.h"

using namespace vesperon;
using vesperon::testing::ReadFile;
using vesperon::testing::TLogRecorder;
using vesperon::testing::TTestFolder;
using vesperon::testing::WriteFile;

namespace {
const std::filesystem::path kShipped =
    std::filesystem::path(VESPERON_TEST_DATA).parent_path().parent_path() / "resources" / "program";

std::intptr_t KeyData(int scanCode) {
  return (static_cast<std::intptr_t>(scanCode) << 16) | 1 | (1 << 24);
}
}  // namespace

TEST(KeyTable, NamesInAnyCaseAndAttributesInAnyOrder) {
  const auto table = ParseKeyTable(
      "<?xml version=\"1.0\"?><KEYS><Key Function=\"play\" VALUE=\"80\" extended=\"25\"/>"
      "<key/>"
      "<key function=\"stop\"/>"
      "<key value=\"1\" colour=\"red\"><ignored/></key>"
      "<other value=\"2\"/></KEYS>"
      "<key value=\"3\"/>");
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table[0].Value, 80);
  EXPECT_EQ(table[0].Extended, 25);
  EXPECT_EQ(table[0].Function, u"play");
  EXPECT_EQ(table[1].Value, 0);  // only a function: value and scan code 0
  EXPECT_EQ(table[1].Extended, 0);
  EXPECT_EQ(table[1].Function, u"stop");
  EXPECT_EQ(table[2].Value, 1);
  EXPECT_TRUE(table[2].Function.empty());
}

TEST(KeyTable, EveryTopLevelKeysElementCounts) {
  // Only the document's own children are "top level"; a keys element deeper
  // down is not read.
  EXPECT_EQ(ParseKeyTable("<keys><key value=\"1\"/></keys><keys><key value=\"2\"/></keys>").size(),
            2u);
  EXPECT_TRUE(ParseKeyTable("<root><keys><key value=\"1\"/></keys></root>").empty());
  EXPECT_EQ(ParseKeyTable("<keys><key value=\"70000\"/></keys>")[0].Value, 4464);
}

TEST(KeyTable, MalformedInputIsAnError) {
  for (const char* text : {"<keys><key value=\"1\"></keys>", "<keys><key value=\"space\"/></keys>",
                           "<keys><key extended=\"\"/></keys>", "", "\x01\x02\x03"}) {
    EXPECT_THROW(ParseKeyTable(text), TKeyTableError) << text;
  }
}

TEST(KeyTable, LookupTakesTheFirstMatchOfCodeAndScanCode) {
  TLogRecorder log;
  gSettings.Keys = ParseKeyTable(
      "<keys><key value=\"32\" extended=\"57\" function=\"break\"/>"
      "<key value=\"32\" extended=\"57\" function=\"play\"/>"
      "<key value=\"32\" extended=\"58\" function=\"stop\"/></keys>");
  EXPECT_EQ(KeyLookup(32, KeyData(57)), u"break");
  EXPECT_EQ(log.Lines, std::vector<std::string>{"key 32 was pressed"});
  EXPECT_EQ(KeyLookup(32, KeyData(58)), u"stop");
  log.Lines.clear();
  EXPECT_FALSE(KeyLookup(32, KeyData(59)));
  EXPECT_FALSE(KeyLookup(33, KeyData(57)));
  EXPECT_FALSE(KeyLookup(32 + 65536, KeyData(57)));
  EXPECT_TRUE(log.Lines.empty());
  gSettings.Keys.clear();
}

TEST(KeyTable, LoadingFromTheCurrentFolder) {
  TTestFolder folder;
  TLogRecorder log;
  gSettings.Keys.push_back({});
  LoadKeyTable();
  EXPECT_TRUE(gSettings.Keys.empty());
  EXPECT_EQ(log.Lines, (std::vector<std::string>{"loading keys.xml...", "No keys.xml found"}));

  log.Lines.clear();
  WriteFile("keys.xml", ReadFile(kShipped / "keys.xml"));
  LoadKeyTable();
  EXPECT_EQ(log.Lines, (std::vector<std::string>{"loading keys.xml...", "loaded keys.xml"}));
  ASSERT_FALSE(gSettings.Keys.empty());
  EXPECT_EQ(KeyLookup(32, KeyData(57)), u"break");

  WriteFile("keys.xml", "<keys><key value=\"x\"/></keys>");
  EXPECT_THROW(LoadKeyTable(), TKeyTableError);
  EXPECT_EQ(log.Lines.back().rfind("ERROR: keys.xml", 0), 0u);
  gSettings.Keys.clear();
}

TEST(Language, MissingFileOrKeysKeepTheBuiltInTexts) {
  TTestFolder folder;
  TLogRecorder log;
  gLang.Exit = u"changed";
  LoadLanguage(u"nowhere.xml");
  EXPECT_EQ(log.Lines, std::vector<std::string>{"loading language nowhere.xml"});
  EXPECT_EQ(gLang.Exit, u"Beenden");
  EXPECT_EQ(gLang.Open, u"\u00d6ffnen");

  WriteFile("mine.xml",
            "<CONFIG><menu exit=\"Quit\" skins=\"Looks\"/><mediadb title=\"Name\"/></CONFIG>");
  LoadLanguage(u"mine.xml");
  EXPECT_EQ(gLang.Exit, u"Quit");
  EXPECT_EQ(gLang.Skins, u"Looks");
  EXPECT_EQ(gLang.About, u"\u00dcber");  // the About entry has a key of its own
  EXPECT_EQ(gLang.Title, u"Name");
  EXPECT_EQ(gLang.Artist, u"K\u00fcnstler");
  gLang = TLang{};
}

TEST(Language, MalformedFileOrWrongRootIsAnError) {
  TTestFolder folder;
  TLogRecorder log;
  WriteFile("bad.xml", "<CONFIG><menu exit=\"x\"></CONFIG>");
  EXPECT_THROW(LoadLanguage(u"bad.xml"), TConfigError);
  WriteFile("root.xml", "<LANGUAGE><menu exit=\"x\"/></LANGUAGE>");
  EXPECT_THROW(LoadLanguage(u"root.xml"), TConfigError);
  EXPECT_EQ(log.Lines.back().rfind("ERROR: ", 0), 0u);
}

TEST(Language, ShippedFilesCarryEveryKey) {
  const TLang german = LanguageFromXml(ReadFile(kShipped / "german.xml"));
  const TLang builtIn;
  const TLang english = LanguageFromXml(ReadFile(kShipped / "english.xml"));
  const std::u16string TLang::*fields[] = {
      &TLang::Minimize, &TLang::Restore, &TLang::Exit,   &TLang::Open,    &TLang::Skins,
      &TLang::About,    &TLang::Title,   &TLang::Artist, &TLang::Album,   &TLang::Genre,
      &TLang::Comment,  &TLang::Played,  &TLang::Added,  &TLang::Filename};
  const TConfigDocument englishDoc = TConfigDocument::Parse(ReadFile(kShipped / "english.xml"));
  for (const char* key :
       {"menu/minimize", "menu/restore", "menu/exit", "menu/open", "menu/skins", "menu/about",
        "mediadb/title", "mediadb/artist", "mediadb/album", "mediadb/genre", "mediadb/comment",
        "mediadb/played", "mediadb/added", "mediadb/filename"}) {
    EXPECT_TRUE(englishDoc.Get(key)) << key;
  }
  for (auto field : fields) EXPECT_EQ(german.*field, builtIn.*field);
  EXPECT_EQ(english.About, u"About");
  EXPECT_EQ(english.Open, u"Open");
}

TEST(ConfigFiles, MalformedSamplesAreRejectedOrReadNeverCrash) {
  const std::filesystem::path dir =
      std::filesystem::path(VESPERON_TEST_DATA) / "core" / "malformed";
  int samples = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string bytes = ReadFile(entry.path());
    ++samples;
    try {
      ParseKeyTable(bytes);
    } catch (const TKeyTableError&) {
    }
    try {
      LanguageFromXml(bytes);
    } catch (const TConfigError&) {
    }
    TTestFolder folder;
    TLogRecorder log;
    WriteFile("settings.xml", bytes);
    ReadSettings();
    EXPECT_LE(log.Lines.size(), 1u) << entry.path();
    if (!log.Lines.empty()) {
      EXPECT_EQ(log.Lines[0], "ERROR: cannot read or create file Settings.xml");
      EXPECT_EQ(gSettings.LastVolume, 255);
    }
  }
  EXPECT_GE(samples, 5);
}

// Inputs the fuzzer once found troublesome are kept and replayed here.
TEST(ConfigFiles, FuzzerFindingsStayFixed) {
  const std::filesystem::path dir =
      std::filesystem::path(VESPERON_TEST_DATA) / "fuzz" / "fuzz_core_config" / "crashes";
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    const std::string bytes = ReadFile(entry.path());
    try {
      ParseKeyTable(bytes);
    } catch (const TKeyTableError&) {
    }
    try {
      TConfigDocument doc = TConfigDocument::Parse(bytes);
      const TSettings read = ReadSettingsFrom(doc);
      WriteSettingsTo(read, doc);
      const TSettings again = ReadSettingsFrom(TConfigDocument::Parse(doc.Serialize()));
      EXPECT_EQ(again.LastSkin, read.LastSkin) << entry.path();
    } catch (const TConfigError&) {
    }
  }
}
