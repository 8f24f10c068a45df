#include <gtest/gtest.h>

#include "core/config_xml.h"
#include "core/settings.h"
#include "test_folder.h"

using namespace vesperon;
using vesperon::testing::ReadFile;
using vesperon::testing::TLogRecorder;
using vesperon::testing::TTestFolder;
using vesperon::testing::WriteFile;

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { gSettings = TSettings{}; }
  void TearDown() override { gSettings = TSettings{}; }
  TTestFolder Folder;
  TLogRecorder Log;
};

// Names of the element children of `node`, in document order.
std::vector<std::string> ChildNames(const pugi::xml_node& node) {
  std::vector<std::string> names;
  for (const pugi::xml_node& c : node.children()) names.emplace_back(c.name());
  return names;
}

std::vector<std::string> AttributeNames(const pugi::xml_node& node) {
  std::vector<std::string> names;
  for (const pugi::xml_attribute& a : node.attributes()) names.emplace_back(a.name());
  return names;
}

}  // namespace

TEST_F(SettingsTest, MissingFileGivesDefaultsAndIsCreatedWithEveryKeyInOrder) {
  ReadSettings();
  EXPECT_TRUE(Log.Lines.empty());
  EXPECT_EQ(gSettings.LastSkin, u"standard");
  ASSERT_TRUE(WriteSettings());

  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file("settings.xml"));
  const pugi::xml_node root = doc.document_element();
  EXPECT_STREQ(root.name(), "CONFIG");
  EXPECT_EQ(ChildNames(root),
            (std::vector<std::string>{"general", "net", "updates", "audio", "skins"}));
  const pugi::xml_node general = root.child("general");
  EXPECT_EQ(AttributeNames(general), std::vector<std::string>{"lastlanguage"});
  EXPECT_EQ(ChildNames(general), (std::vector<std::string>{"lastpos", "mediadbwinoffset"}));
  EXPECT_EQ(AttributeNames(general.child("lastpos")), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(AttributeNames(root.child("updates")),
            (std::vector<std::string>{"lastcheck", "automatic"}));
  const pugi::xml_node audio = root.child("audio");
  EXPECT_EQ(AttributeNames(audio),
            (std::vector<std::string>{"lastvolume", "crossfade", "shuffle", "repeat"}));
  EXPECT_EQ(AttributeNames(audio.child("crossfade")),
            (std::vector<std::string>{"intime", "outtime"}));
  EXPECT_STREQ(audio.attribute("crossfade").value(), "True");
  EXPECT_STREQ(audio.attribute("repeat").value(), "False");
  EXPECT_STREQ(audio.child("crossfade").attribute("intime").value(), "5000");
  EXPECT_STREQ(root.child("skins").attribute("lastskin").value(), "standard");
  EXPECT_STREQ(root.child("net").attribute("proxy").value(), "");
}

TEST_F(SettingsTest, RoundTripKeepsValuesAndUnknownContent) {
  WriteFile("settings.xml",
            "<?xml version=\"1.0\"?>\n<CONFIG>\n  <!-- mine -->\n  <plugins enabled=\"yes\"><p "
            "name=\"a\"/></plugins>\n"
            "  <audio lastvolume=\"12\" eq=\"flat\"/>\n</CONFIG>\n");
  ReadSettings();
  EXPECT_EQ(gSettings.LastVolume, 12);
  gSettings.LastSkin = u"M\u00fcsik & <Co>";
  gSettings.LastPos = {-20, 3000};
  gSettings.MediaDbWinOffset = {5, -7};
  gSettings.Proxy = u"proxy:8080";
  gSettings.LastCheck = 42;
  gSettings.AutomaticUpdates = true;
  gSettings.Crossfade = false;
  gSettings.Shuffle = false;
  gSettings.Repeat = true;
  gSettings.CrossfadeInTime = 65535;
  gSettings.CrossfadeOutTime = 0;
  gSettings.LastLanguage = u"english.xml";
  const TSettings written = gSettings;
  ASSERT_TRUE(WriteSettings());

  gSettings = TSettings{};
  ReadSettings();
  EXPECT_EQ(gSettings.LastSkin, written.LastSkin);
  EXPECT_EQ(gSettings.LastVolume, 12);
  EXPECT_EQ(gSettings.LastPos.x, -20);
  EXPECT_EQ(gSettings.LastPos.y, 3000);
  EXPECT_EQ(gSettings.MediaDbWinOffset.y, -7);
  EXPECT_EQ(gSettings.Proxy, u"proxy:8080");
  EXPECT_EQ(gSettings.LastCheck, 42);
  EXPECT_TRUE(gSettings.AutomaticUpdates);
  EXPECT_FALSE(gSettings.Crossfade);
  EXPECT_FALSE(gSettings.Shuffle);
  EXPECT_TRUE(gSettings.Repeat);
  EXPECT_EQ(gSettings.CrossfadeInTime, 65535);
  EXPECT_EQ(gSettings.CrossfadeOutTime, 0);
  EXPECT_EQ(gSettings.LastLanguage, u"english.xml");

  const std::string file = ReadFile("settings.xml");
  EXPECT_NE(file.find("<!-- mine -->"), std::string::npos);
  EXPECT_NE(file.find("<p name=\"a\""), std::string::npos);
  EXPECT_NE(file.find("eq=\"flat\""), std::string::npos);
  EXPECT_TRUE(Log.Lines.empty());
}

TEST_F(SettingsTest, ConversionRules) {
  WriteFile(
      "settings.xml",
      "<CONFIG><audio lastvolume=\"loud\" crossfade=\"FALSE\" shuffle=\"yes\" repeat=\"TRUE\">"
      "<crossfade intime=\"70000\" outtime=\"-1\"/></audio>"
      "<updates lastcheck=\"99999999999\" automatic=\"tRuE\"/>"
      "<general><lastpos x=\" 5\" y=\"+7\"/></general></CONFIG>");
  ReadSettings();
  EXPECT_EQ(gSettings.CrossfadeInTime, 4464);    // low 16 bits of 70000
  EXPECT_EQ(gSettings.CrossfadeOutTime, 65535);  // low 16 bits of -1
  EXPECT_EQ(gSettings.LastVolume, 255);          // not a number: default
  EXPECT_FALSE(gSettings.Crossfade);
  EXPECT_TRUE(gSettings.Shuffle);  // "yes" is no Boolean: default
  EXPECT_TRUE(gSettings.Repeat);
  EXPECT_TRUE(gSettings.AutomaticUpdates);
  EXPECT_EQ(gSettings.LastCheck, 0);  // beyond 32 bits: default
  EXPECT_EQ(gSettings.LastPos.x, 10);
  EXPECT_EQ(gSettings.LastPos.y, 7);
  EXPECT_EQ(gSettings.MediaDbWinOffset.x, 10);  // missing: default
  EXPECT_TRUE(Log.Lines.empty());
}

TEST_F(SettingsTest, WrongRootGivesDefaultsAndLeavesTheFileUnchanged) {
  const std::string original = "<SETTINGS><audio lastvolume=\"3\"/></SETTINGS>";
  WriteFile("settings.xml", original);
  gSettings.LastVolume = 77;
  ReadSettings();
  EXPECT_EQ(Log.Lines, std::vector<std::string>{"ERROR: cannot read or create file Settings.xml"});
  EXPECT_EQ(gSettings.LastVolume, 255);
  gSettings.LastVolume = 9;
  EXPECT_FALSE(WriteSettings());
  EXPECT_EQ(Log.Lines.back(), "ERROR: cannot write configuration to file");
  EXPECT_EQ(ReadFile("settings.xml"), original);
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(SettingsTest, MalformedFilesGiveTheReadingError) {
  for (const char* text :
       {"", "<CONFIG><audio lastvolume=\"3\"></CONFIG>", "\xff\xfe\x00garbage", "<config/>"}) {
    WriteFile("settings.xml", text);
    gSettings.LastVolume = 1;
    Log.Lines.clear();
    ReadSettings();
    EXPECT_EQ(gSettings.LastVolume, 255) << text;
    EXPECT_EQ(Log.Lines, std::vector<std::string>{"ERROR: cannot read or create file Settings.xml"})
        << text;
  }
}

TEST_F(SettingsTest, UnwritableFolderReportsAndKeepsGoing) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
  std::filesystem::permissions(
      Folder.Path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_FALSE(WriteSettings());
  EXPECT_EQ(Log.Lines.back(), "ERROR: cannot write configuration to file");
  std::filesystem::permissions(Folder.Path, std::filesystem::perms::owner_all);
}

TEST(ConfigDocument, KeysAreElementPathsWithAnAttributeAtTheEnd) {
  TConfigDocument doc = TConfigDocument::Parse("<CONFIG/>");
  doc.Set("audio/crossfade", u"True");
  doc.Set("audio/crossfade/intime", u"100");
  doc.Set("top", u"1");
  EXPECT_EQ(doc.Get("audio/crossfade"), u"True");
  EXPECT_EQ(doc.Get("audio/crossfade/intime"), u"100");
  EXPECT_EQ(doc.Get("top"), u"1");
  EXPECT_FALSE(doc.Get("audio/missing"));
  EXPECT_FALSE(doc.Get("nothing/here/at/all"));
  EXPECT_EQ(doc.Serialize(),
            "<?xml version=\"1.0\"?>\n<CONFIG top=\"1\">\n  <audio crossfade=\"True\">\n"
            "    <crossfade intime=\"100\" />\n  </audio>\n</CONFIG>\n");
}

TEST(ConfigDocument, DecimalNumbers) {
  EXPECT_EQ(ParseDecimal("0"), 0);
  EXPECT_EQ(ParseDecimal("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseDecimal("+12"), 12);
  EXPECT_FALSE(ParseDecimal("2147483648"));
  EXPECT_FALSE(ParseDecimal(""));
  EXPECT_FALSE(ParseDecimal("+"));
  EXPECT_FALSE(ParseDecimal("+-1"));
  EXPECT_FALSE(ParseDecimal("12a"));
  EXPECT_FALSE(ParseDecimal("0x10"));
}
