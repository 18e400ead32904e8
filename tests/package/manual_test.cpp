// The manual page (dist/linux/tavro.1) and the bash completion
// (dist/linux/tavro.bash) against the program itself: the options that
// `tavro --help` lists, the settings that `tavro --settings` shows and the
// ones that `tavro --set` accepts. An option or setting added to one side
// only fails here.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tavro_runner.h"

namespace {

using Names = std::set<std::string>;
const std::string kDist = TAVRO_LINUX_DIST;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// "-P <password>" -> "-P"; "--help, --version" -> both.
void AddOptionWords(const std::string& column, Names* names) {
  std::string item;
  std::istringstream items(column);
  while (std::getline(items, item, ',')) {
    const size_t start = item.find_first_not_of(' ');
    if (start == std::string::npos || item[start] != '-') continue;
    names->insert(item.substr(start, item.find(' ', start) - start));
  }
}

// The options of the help: lines that begin with blanks and '-'; the option
// column ends at the first two blanks.
Names HelpOptions(const std::string& help) {
  Names names;
  for (const std::string& line : e2e::SplitLines(help)) {
    const size_t start = line.find_first_not_of(' ');
    if (start == 0 || start == std::string::npos || line[start] != '-') continue;
    const size_t gap = line.find("  ", start);
    AddOptionWords(line.substr(start, gap == std::string::npos ? std::string::npos : gap - start), &names);
  }
  return names;
}

// A line of roff as plain text: no macro name, fonts or quotes; "\-" is '-'.
std::string Unroff(const std::string& line) {
  std::string text = line;
  if (!text.empty() && text[0] == '.') {
    const size_t space = text.find(' ');
    text = space == std::string::npos ? std::string() : text.substr(space + 1);
  }
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') continue;
    if (text[i] == '\\' && i + 1 < text.size()) {
      if (text[i + 1] == 'f' && i + 2 < text.size()) {
        i += 2;  // \fB, \fI, \fR, \fP
      } else if (text[i + 1] == '-') {
        out += '-';
        ++i;
      } else {
        ++i;
      }
      continue;
    }
    out += text[i];
  }
  return out;
}

// The tags of the .TP entries of one section: the line after each .TP.
std::vector<std::string> SectionTags(const std::string& manual, const std::string& section) {
  std::vector<std::string> tags;
  bool inside = false, tagNext = false;
  for (const std::string& line : e2e::SplitLines(manual)) {
    if (line.compare(0, 4, ".SH ") == 0) {
      inside = Unroff(line) == section;
      continue;
    }
    if (!inside) continue;
    if (tagNext) tags.push_back(Unroff(line));
    tagNext = line == ".TP";
  }
  return tags;
}

Names ManualOptions() {
  Names names;
  for (const std::string& tag : SectionTags(ReadText(kDist + "/tavro.1"), "OPTIONS")) AddOptionWords(tag, &names);
  return names;
}

// The settings as `tavro --settings` shows them ("Name=value" lines).
Names ShownSettings(e2e::Tavro& t) {
  Names names;
  const auto r = t.Run({"--settings"});
  EXPECT_EQ(r.status, 0) << r.err;
  for (const std::string& line : r.lines) names.insert(line.substr(0, line.find('=')));
  return names;
}

// What the completion offers for a command line typed up to its end.
Names Complete(const std::string& line) {
  // bash hands the function the text after the last word break (blank or '=').
  const std::string script =
      "source \"$1\"; COMP_LINE=$2; COMP_POINT=${#COMP_LINE}; cur=${COMP_LINE##*[[:space:]=]};"
      "_tavro tavro \"$cur\" \"\"; printf \"%s\\n\" \"${COMPREPLY[@]}\"";
  const std::string command = "bash -c '" + script + "' completion '" + kDist + "/tavro.bash' '" + line + "'";
  Names names;
  FILE* out = popen(command.c_str(), "r");
  if (!out) return names;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, out)) {
    std::string word = buffer;
    while (!word.empty() && (word.back() == '\n' || word.back() == ' ')) word.pop_back();
    if (!word.empty()) names.insert(word);
  }
  EXPECT_EQ(pclose(out), 0) << line;
  return names;
}

TEST(Manual, ListsTheOptionsOfTheHelpAndTheSettingsTheProgramShows) {
  e2e::Tavro t;
  const auto help = t.Run({"--help"});
  ASSERT_EQ(help.status, 0);
  const Names options = HelpOptions(help.out);
  ASSERT_GE(options.size(), 10u) << help.out;  // the parse found the option column
  EXPECT_EQ(ManualOptions(), options);

  const std::string manual = ReadText(kDist + "/tavro.1");
  std::vector<std::string> tags = SectionTags(manual, "SETTINGS");
  EXPECT_EQ(Names(tags.begin(), tags.end()), ShownSettings(t));

  // The page's footer names the version that --version prints ("tavro 1.00").
  const auto version = t.Run({"--version"});
  ASSERT_EQ(version.lines.size(), 1u);
  const std::string footer = "\"Tavro " + version.lines[0].substr(version.lines[0].find(' ') + 1) + "\"";
  std::string title;
  for (const std::string& line : e2e::SplitLines(manual))
    if (line.compare(0, 12, ".TH TAVRO 1 ") == 0) title = line;
  EXPECT_TRUE(e2e::Contains(title, footer)) << title << " lacks " << footer;
}

TEST(Completion, OffersTheOptionsOfTheHelpAndTheSettingsThatCanBeSet) {
  e2e::Tavro t;
  const Names options = HelpOptions(t.Run({"--help"}).out);
  EXPECT_EQ(Complete("tavro -"), options);
  EXPECT_EQ(Complete("tavro -E -"), options);

  // The names --set takes: every shown setting that it accepts.
  Names settable;
  for (const std::string& name : ShownSettings(t))
    if (t.Run({"--set", name + "=1"}).status == 0) settable.insert(name + "=");
  ASSERT_FALSE(settable.empty());
  EXPECT_EQ(Complete("tavro --set "), settable);
  EXPECT_EQ(Complete("tavro --set="), settable);

  const struct {
    const char* line;
    Names offered;
  } table[] = {
      {"tavro --set Ze", {"Zero="}},
      {"tavro --set=Has", {"HashCheck="}},
      {"tavro --set Zero=", {"0", "1"}},
      {"tavro --set=Rand=", {"0", "1"}},
      {"tavro --file-type ", {"on", "off"}},
      {"tavro --file-type=o", {"on", "off"}},
      {"tavro -P ", {}},        // the password
      {"tavro -P -", {}},       // a password that begins with '-'
      {"tavro -- -", {}},       // after "--", targets only
      {"tavro -P -- -", options},  // "--" as the password ends nothing
  };
  for (const auto& row : table) EXPECT_EQ(Complete(row.line), row.offered) << row.line;
}

}  // namespace
