#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "core/documents.h"
#include "test_folder.h"

using namespace vesperon;
using vesperon::testing::ReadFile;
using vesperon::testing::TTestFolder;
using vesperon::testing::WriteFile;

namespace {
std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}
}  // namespace

TEST(Documents, FirstStartWritesAllThreeAndCreatesTheHelpFolder) {
  TTestFolder folder;
  WriteDefaultDocuments();
  EXPECT_EQ(ReadFile("help/index.html"), "<html>\r\n</html>");
  for (const char* name : {"Readme.txt", "ChangeLog.txt"}) {
    const std::string text = ReadFile(name);
    ASSERT_FALSE(text.empty()) << name;
    // Every line ends in CR LF, none in a bare LF.
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n') {
        EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << name << " at " << i;
      }
    }
  }
}

TEST(Documents, ExistingFilesAreNeverOverwritten) {
  TTestFolder folder;
  WriteFile("Readme.txt", "my own notes");
  WriteFile("help/index.html", "<html>mine</html>");
  WriteDefaultDocuments();
  EXPECT_EQ(ReadFile("Readme.txt"), "my own notes");
  EXPECT_EQ(ReadFile("help/index.html"), "<html>mine</html>");
  EXPECT_FALSE(ReadFile("ChangeLog.txt").empty());
}

TEST(Documents, AFileInPlaceOfTheHelpFolderIsAnError) {
  TTestFolder folder;
  WriteFile("help", "not a folder");
  EXPECT_ANY_THROW(WriteDefaultDocuments());
}

TEST(Documents, ReadmeStructure) {
  const std::vector<std::string> lines = CrLfLines(std::string(DefaultDocuments()[0].Text));
  ASSERT_GE(lines.size(), 3u);
  EXPECT_NE(lines[1].find("Vesperon NG"), std::string::npos);
  EXPECT_NE(lines[1].find("4.0 ALPHA 3"), std::string::npos);
  auto position = [&](const std::string& heading) {
    return std::find(lines.begin(), lines.end(), heading) - lines.begin();
  };
  const auto requirements = position("Requirements:"), windows = position("Windows:"),
             linux = position("Linux:"), mac = position("Mac:"),
             parameters = position("Parameters:"), returns = position("Return values:");
  EXPECT_LT(requirements, windows);
  EXPECT_LT(windows, linux);
  EXPECT_LT(linux, mac);
  EXPECT_LT(mac, parameters);
  EXPECT_LT(parameters, returns);
  ASSERT_LT(returns, static_cast<long>(lines.size()));
  for (const char* option :
       {"--debug\t", "--silent\t", "--force\t", "--update\t", "--display=DISPLAY\t", "--help\t",
        "--uninstall\t", "--logscript\t", "--compileskin=SKIN\t", "--adddir=DIR\t"}) {
    const bool found =
        std::any_of(lines.begin() + parameters, lines.begin() + returns,
                    [&](const std::string& l) { return l.find(option) != std::string::npos; });
    EXPECT_TRUE(found) << option;
  }
  std::vector<std::string> codes;
  for (auto it = lines.begin() + returns + 1; it != lines.end(); ++it) {
    std::smatch m;
    if (std::regex_match(*it, m, std::regex(" *([0-9]+): .+"))) codes.push_back(m[1]);
  }
  EXPECT_EQ(codes, (std::vector<std::string>{"0", "1", "2", "3", "4", "100"}));
}

TEST(Documents, ChangeLogStructure) {
  const std::vector<std::string> lines = CrLfLines(std::string(DefaultDocuments()[1].Text));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "Vesperon NG - Changelog");
  const std::regex heading("[0-3][0-9]\\.[01][0-9]\\.[0-9]{4} Version 4\\.0 ALPHA [0-9]+");
  const std::regex change("[FUN]: .+");
  int versions = 0, previousAlpha = 1000;
  std::size_t i = 1;
  for (; i < lines.size() && lines[i] != "Still to do:"; ++i) {
    if (lines[i].empty()) continue;
    if (std::regex_match(lines[i], heading)) {
      const int alpha = std::stoi(lines[i].substr(lines[i].rfind(' ') + 1));
      EXPECT_LT(alpha, previousAlpha) << "newest first";
      previousAlpha = alpha;
      ++versions;
    } else {
      EXPECT_TRUE(std::regex_match(lines[i], change)) << lines[i];
    }
  }
  EXPECT_GE(versions, 2);
  const auto rest = std::vector<std::string>(lines.begin() + i, lines.end());
  const auto at = [&](const std::string& l) {
    return std::find(rest.begin(), rest.end(), l) - rest.begin();
  };
  EXPECT_LT(at("Still to do:"), at("Known bugs:"));
  EXPECT_LT(at("Known bugs:"), at("Roadmap:"));
  EXPECT_LT(at("Roadmap:"), static_cast<long>(rest.size()));
  EXPECT_TRUE(std::any_of(rest.begin() + at("Known bugs:"), rest.begin() + at("Roadmap:"),
                          [](const std::string& l) { return l.find("-----") == 0; }));
}
