// The Debian package of this build, as an operator gets it: its control
// fields and files are read with dpkg-deb, and it is installed with dpkg into
// a fresh root (a temporary folder with an admin database of its own, so that
// the machine's package database is never touched), run from there on the
// demo database, and removed again.
//
// ctest makes the package with cpack before these tests (fixture
// kolvadex_package) in the folder named by KOLVADEX_PACKAGE_DIR.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/version.h"
#include "run/command_line.h"
#include "support/process.h"
#include "support/sqlite_fixture.h"
#include "support/temp_dir.h"

namespace kolvadex::testing {
namespace {

namespace fs = std::filesystem;

// The environment of the package tools: no dpkg settings of the user who runs
// the tests, and the system folders in PATH, where dpkg looks for its helpers.
ProcessOptions ToolOptions(const TempDir& home) {
  ProcessOptions options;
  options.allow_wrapper = false;
  const char* path = std::getenv("PATH");
  options.env = {
      "HOME=" + home.path(),
      "PATH=" + std::string(path != nullptr ? path : "/usr/bin:/bin") + ":/usr/sbin:/sbin"};
  return options;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Trimmed(std::string text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  std::size_t start = 0;
  while (start < text.size() && blank(text[start])) ++start;
  return text.substr(start);
}

// The package names of a relation field ("a (>= 1), b | c"), without versions.
std::set<std::string> PackageNames(const std::string& field) {
  std::set<std::string> names;
  std::string name;
  bool in_version = false;
  for (const char c : field + ",") {
    if (c == '(') in_version = true;
    if (c == ')') in_version = false;
    if (in_version || c == ')') continue;
    if (c == ',' || c == '|') {
      if (!Trimmed(name).empty()) names.insert(Trimmed(name));
      name.clear();
    } else {
      name.push_back(c);
    }
  }
  return names;
}

class PackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* dir = std::getenv("KOLVADEX_PACKAGE_DIR");
    ASSERT_NE(dir, nullptr) << "KOLVADEX_PACKAGE_DIR is not set (ctest sets it)";
    const ProcessResult arch = Tool({"dpkg", "--print-architecture"});
    ASSERT_EQ(arch.exit_status, 0) << arch.err;
    architecture_ = Trimmed(arch.out);
    // The Debian file name: what an operator passes to apt install.
    deb_ = std::string(dir) + "/kolvadex_" + kVersion + "_" + architecture_ + ".deb";
    ASSERT_TRUE(fs::is_regular_file(deb_)) << deb_ << " was not made";
  }

  ProcessResult Tool(const std::vector<std::string>& args) const {
    return RunProcess(args, ToolOptions(home_));
  }

  std::string Field(const std::string& name) const {
    const ProcessResult result = Tool({"dpkg-deb", "--field", deb_, name});
    EXPECT_EQ(result.exit_status, 0) << result.err;
    return Trimmed(result.out);
  }

  TempDir home_;
  std::string architecture_;
  std::string deb_;
};

TEST_F(PackageTest, ControlFieldsNameThePackageAndWhatItNeeds) {
  EXPECT_EQ(Field("Package"), "kolvadex");
  EXPECT_EQ(Field("Version"), kVersion);
  EXPECT_EQ(Field("Architecture"), architecture_);
  EXPECT_EQ(Field("Section"), "utils");
  EXPECT_EQ(Field("Priority"), "optional");
  const std::string maintainer = Field("Maintainer");
  EXPECT_NE(maintainer.find(" <"), std::string::npos) << maintainer;
  EXPECT_EQ(maintainer.back(), '>') << maintainer;

  // What the executables are linked against, as dpkg-shlibdeps found it.
  const std::set<std::string> depends = PackageNames(Field("Depends"));
  for (const std::string linked : {"libc6", "libstdc++6", "libsqlite3-0"}) {
    EXPECT_TRUE(depends.contains(linked)) << linked << " missing in Depends: " << Field("Depends");
  }
  // libpq is loaded only by PostgreSQL runs: recommended, not required. The
  // Oracle client is no Debian package and is named nowhere.
  EXPECT_FALSE(depends.contains("libpq5")) << Field("Depends");
  EXPECT_EQ(PackageNames(Field("Recommends")), std::set<std::string>{"libpq5"});
  for (const std::string relation : {"Pre-Depends", "Depends", "Recommends", "Suggests"}) {
    std::string named = Field(relation);
    for (char& c : named) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const std::string oracle : {"oracle", "clntsh", "instantclient"}) {
      EXPECT_EQ(named.find(oracle), std::string::npos) << relation << ": " << named;
    }
  }
}

TEST_F(PackageTest, DescriptionIsASummaryAndShortLines) {
  const std::vector<std::string> lines = Lines(Field("Description"));
  ASSERT_GE(lines.size(), 2U);
  EXPECT_FALSE(lines[0].empty());
  EXPECT_LE(lines[0].size(), 80U) << lines[0];
  for (const std::string& line : lines) EXPECT_LE(line.size(), 80U) << line;
}

TEST_F(PackageTest, HoldsExactlyTheToolsManualPagesAndDocuments) {
  const ProcessResult listing = Tool({"dpkg-deb", "--contents", deb_});
  ASSERT_EQ(listing.exit_status, 0) << listing.err;
  // Path -> permissions of every file; folders are checked on the way.
  std::map<std::string, std::string> files;
  for (const std::string& line : Lines(listing.out)) {
    std::istringstream fields(line);
    std::string mode;
    std::string owner;
    std::string size;
    std::string date;
    std::string time;
    std::string path;
    fields >> mode >> owner >> size >> date >> time >> path;
    EXPECT_EQ(owner, "root/root") << line;
    EXPECT_TRUE(path.starts_with("./usr/")) << line;
    EXPECT_FALSE(path.starts_with("./usr/local/")) << line;
    if (mode.starts_with("d")) {
      EXPECT_EQ(mode, "drwxr-xr-x") << line;
    } else {
      files[path] = mode;
    }
  }
  const std::map<std::string, std::string> expected = {
      {"./usr/bin/kolvadex", "-rwxr-xr-x"},
      {"./usr/bin/kolvadex-cred", "-rwxr-xr-x"},
      {"./usr/share/man/man1/kolvadex.1.gz", "-rw-r--r--"},
      {"./usr/share/man/man1/kolvadex-cred.1.gz", "-rw-r--r--"},
      {"./usr/share/doc/kolvadex/README.md", "-rw-r--r--"},
      {"./usr/share/doc/kolvadex/copyright", "-rw-r--r--"},
      {"./usr/share/doc/kolvadex/changelog.gz", "-rw-r--r--"},
  };
  EXPECT_EQ(files, expected);
}

// The package installed with dpkg into a root of its own.
class InstalledPackageTest : public PackageTest {
 protected:
  void SetUp() override {
    PackageTest::SetUp();
    if (HasFatalFailure()) return;
    admin_ = root_.path() + "/var/lib/dpkg";
    fs::create_directories(admin_ + "/info");
    fs::create_directories(admin_ + "/updates");
    root_.Write("var/lib/dpkg/status", "");
    // The fresh root knows no other package: the libraries named in Depends
    // are the machine's, so the check of dependencies is left out.
    const ProcessResult install = Dpkg({"--force-depends", "--install", deb_});
    ASSERT_EQ(install.exit_status, 0) << install.out << install.err;
    bin_ = root_.path() + "/usr/bin/";
  }

  ProcessResult Dpkg(std::vector<std::string> args) const {
    args.insert(args.begin(), {"dpkg", "--root=" + root_.path(), "--force-not-root",
                               "--log=" + home_.File("dpkg.log")});
    return Tool(args);
  }

  ProcessResult Installed(const std::string& program, const std::vector<std::string>& args,
                          const std::string& input = "") const {
    std::vector<std::string> command{bin_ + program};
    command.insert(command.end(), args.begin(), args.end());
    ProcessOptions options;
    options.working_dir = work_.path();
    options.input = input;
    return RunProcess(command, options);
  }

  // Every file below the root outside dpkg's own database.
  std::vector<std::string> InstalledFiles() const {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root_.path())) {
      const std::string path = entry.path().string();
      if (!entry.is_directory() && !path.starts_with(admin_ + "/")) files.push_back(path);
    }
    std::sort(files.begin(), files.end());
    return files;
  }

  TempDir root_;
  TempDir work_;
  std::string admin_;
  std::string bin_;
};

TEST_F(InstalledPackageTest, InstalledToolsRunTheDemo) {
  const std::string db = work_.File("app.db");
  ExecSql(
      db,
      "CREATE TABLE TERM (ID INTEGER PRIMARY KEY, NAME TEXT NOT NULL, STATE TEXT NOT NULL);"
      "INSERT INTO TERM VALUES (1, 'GETTERM-2026-12', 'open'), (2, 'GETTERM-2027-01', 'open');");
  const ProcessResult written =
      Installed("kolvadex-cred", {"write", "QV.INI"}, db + "\n\n\nSQLITE\n");
  ASSERT_EQ(written.exit_status, 0) << written.err;
  EXPECT_EQ(fs::status(work_.File("QV.INI")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  const ProcessResult checked = Installed("kolvadex-cred", {"check", "QV.INI"});
  EXPECT_EQ(checked.exit_status, 0) << checked.out << checked.err;
  work_.Write("KOLVADEX.SQLITE.INI",
              "[GETTERM]\n"
              "SQL001=UPDATE TERM SET STATE = 'closed'\n"
              "SQL002=WHERE NAME = '$parm01'\n");

  const ProcessResult run = Installed("kolvadex", {"GETTERM", "QV.INI", "GETTERM-2026-12"});
  EXPECT_EQ(run.exit_status, 58);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(QueryValue(db, "SELECT STATE FROM TERM WHERE ID = 1"), "closed");
  EXPECT_EQ(QueryValue(db, "SELECT STATE FROM TERM WHERE ID = 2"), "open");

  const ProcessResult traced =
      Installed("kolvadex", {"GETTERM", "QV.INI", "GETTERM-2027-01", "/D"});
  EXPECT_EQ(traced.exit_status, 58);
  EXPECT_TRUE(traced.out.ends_with("\n SQL-Fehler : 0\n")) << traced.out;
  EXPECT_EQ(QueryValue(db, "SELECT STATE FROM TERM WHERE ID = 2"), "closed");
}

TEST_F(InstalledPackageTest, InstalledToolsAndManualPagesCarryTheVersion) {
  std::ostringstream header;
  PrintHeader(header);
  const ProcessResult usage = Installed("kolvadex", {"GETTERM", "QV.INI"});
  EXPECT_EQ(usage.exit_status, 1);
  EXPECT_TRUE(usage.out.starts_with(header.str())) << usage.out;

  const ProcessResult version = Installed("kolvadex-cred", {"--version"});
  EXPECT_EQ(version.exit_status, 0);
  EXPECT_EQ(version.out, std::string("kolvadex-cred ") + kVersion + "\n");

  for (const std::string page : {"kolvadex.1.gz", "kolvadex-cred.1.gz"}) {
    const ProcessResult source =
        Tool({"gzip", "--decompress", "--stdout", root_.path() + "/usr/share/man/man1/" + page});
    ASSERT_EQ(source.exit_status, 0) << source.err;
    const std::string stamp = std::string("\"kolvadex ") + kVersion + "\"";
    bool found = false;
    for (const std::string& line : Lines(source.out)) {
      if (line.starts_with(".TH ")) found = line.find(stamp) != std::string::npos;
    }
    EXPECT_TRUE(found) << page << " has no title line with " << stamp;
  }
}

TEST_F(InstalledPackageTest, InstalledToolsNeedNoBuildPath) {
  // Nothing of the build tree is searched: no RPATH, no RUNPATH.
  for (const std::string program : {"kolvadex", "kolvadex-cred"}) {
    const ProcessResult dynamic = Tool({"readelf", "--dynamic", bin_ + program});
    if (dynamic.exit_status == 127) GTEST_SKIP() << "readelf is not installed";
    ASSERT_EQ(dynamic.exit_status, 0) << dynamic.err;
    EXPECT_EQ(dynamic.out.find("RPATH"), std::string::npos) << program << "\n" << dynamic.out;
    EXPECT_EQ(dynamic.out.find("RUNPATH"), std::string::npos) << program << "\n" << dynamic.out;
  }
}

TEST_F(InstalledPackageTest, RemovingThePackageLeavesNoFile) {
  const ProcessResult status = Dpkg({"--status", "kolvadex"});
  EXPECT_NE(status.out.find("Status: install ok installed"), std::string::npos) << status.out;
  EXPECT_EQ(InstalledFiles().size(), 7U);

  const ProcessResult removed = Dpkg({"--purge", "kolvadex"});
  ASSERT_EQ(removed.exit_status, 0) << removed.out << removed.err;
  EXPECT_EQ(InstalledFiles(), std::vector<std::string>{});
  EXPECT_FALSE(fs::exists(root_.path() + "/usr"));
}

}  // namespace
}  // namespace kolvadex::testing
