// The manual pages: they render without a warning from groff or man, fit a
// terminal of 80 columns, and describe what the tools actually have (every
// command of kolvadex-cred, every exit status of kolvadex).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run/exit_status.h"
#include "support/process.h"

namespace kolvadex::testing {
namespace {

const std::string kManDir = KOLVADEX_MAN_DIR;

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    std::error_code ignored;
    if (!folder.empty() &&
        std::filesystem::exists(std::filesystem::path(folder) / program, ignored)) {
      return true;
    }
  }
  return false;
}

ProcessResult Tool(const std::vector<std::string>& args) {
  ProcessOptions options;
  options.allow_wrapper = false;
  options.env = {"LC_ALL=C.UTF-8", "MANWIDTH=80"};
  return RunProcess(args, options);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The source lines of one section (".SH NAME" up to the next .SH).
std::vector<std::string> Section(const std::string& page, const std::string& name) {
  std::vector<std::string> lines;
  bool inside = false;
  for (const std::string& line : Lines(page)) {
    if (line.starts_with(".SH "))
      inside = line == ".SH " + name;
    else if (inside)
      lines.push_back(line);
  }
  return lines;
}

// Display columns of UTF-8 text: every byte but continuation bytes.
std::size_t Columns(const std::string& line) {
  std::size_t columns = 0;
  for (const char c : line) {
    if ((static_cast<unsigned char>(c) & 0xC0U) != 0x80U) ++columns;
  }
  return columns;
}

class ManPageTest : public ::testing::TestWithParam<std::string> {
 protected:
  [[nodiscard]] std::string Path() const { return kManDir + "/" + GetParam(); }
};

TEST_P(ManPageTest, GroffFindsNothingToWarnAbout) {
  if (!OnPath("groff")) GTEST_SKIP() << "groff is not installed";
  const ProcessResult result = Tool({"groff", "-man", "-Tutf8", "-ww", "-z", Path()});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.err, "");
}

TEST_P(ManPageTest, ManRendersItWithoutWarningsWithinEightyColumns) {
  if (!OnPath("man")) GTEST_SKIP() << "man is not installed";
  const ProcessResult result = Tool({"man", "--warnings", "-E", "UTF-8", "-l", Path()});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.err, "");
  const std::vector<std::string> lines = Lines(result.out);
  EXPECT_GT(lines.size(), 20U);
  for (const std::string& line : lines) EXPECT_LE(Columns(line), 80U) << line;
}

TEST_P(ManPageTest, TitleLineCarriesTheFieldTheBuildStampsWithTheVersion) {
  const std::vector<std::string> lines = Lines(ReadFile(Path()));
  int titles = 0;
  for (const std::string& line : lines) {
    if (!line.starts_with(".TH ")) continue;
    ++titles;
    EXPECT_NE(line.find(" \"kolvadex\" "), std::string::npos) << line;
  }
  EXPECT_EQ(titles, 1);
}

INSTANTIATE_TEST_SUITE_P(Pages, ManPageTest, ::testing::Values("kolvadex.1", "kolvadex-cred.1"),
                         [](const ::testing::TestParamInfo<std::string>& param_info) {
                           std::string name = param_info.param;
                           for (char& c : name) {
                             if (c == '-' || c == '.') c = '_';
                           }
                           return name;
                         });

TEST(ManPageContentTest, KolvadexPageListsEveryExitStatus) {
  const std::string page = ReadFile(kManDir + "/kolvadex.1");
  const std::vector<std::string> section = Section(page, "EXIT STATUS");
  ASSERT_FALSE(section.empty());
  for (const int status :
       {kExitCompleted, kExitConnectFailed, kExitUsage, kExitNoStatement, kExitStatementFailed}) {
    const std::string item = ".B " + std::to_string(status);
    EXPECT_NE(std::find(section.begin(), section.end(), item), section.end())
        << "no item for exit status " << status;
  }
}

TEST(ManPageContentTest, CredPageDescribesEveryCommandOfTheHelp) {
  const ProcessResult help = RunProcess({KOLVADEX_CRED_BINARY, "--help"});
  ASSERT_EQ(help.exit_status, 0);
  // The help lists the commands under "Befehle:", one per line, indented.
  std::vector<std::string> commands;
  bool inside = false;
  for (const std::string& line : Lines(help.out)) {
    if (line == "Befehle:") {
      inside = true;
    } else if (inside && line.starts_with("  ")) {
      std::istringstream words(line);
      std::string command;
      words >> command;
      commands.push_back(command);
    } else if (inside) {
      break;
    }
  }
  ASSERT_GE(commands.size(), 6U) << help.out;

  const std::string page = ReadFile(kManDir + "/kolvadex-cred.1");
  const std::vector<std::string> section = Section(page, "COMMANDS");
  const std::string synopsis = page.substr(0, page.find(".SH DESCRIPTION"));
  for (const std::string& command : commands) {
    bool described = false;
    for (const std::string& line : section) {
      if (line == ".B " + command || line.starts_with(".BI " + command + " ")) described = true;
    }
    EXPECT_TRUE(described) << "COMMANDS has no item for " << command;
    EXPECT_NE(synopsis.find("\n.B " + command + "\n"), std::string::npos)
        << "SYNOPSIS does not show " << command;
  }
}

}  // namespace
}  // namespace kolvadex::testing
