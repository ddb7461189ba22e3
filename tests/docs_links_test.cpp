// The README and the pages of docs/ link to each other, to files of the
// repository and to headings (#anchors). A page moved or a heading reworded
// breaks such links silently on GitHub; this test finds them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A page: its lines, by its path relative to the repository's root.
using Pages = std::map<std::string, std::vector<std::string>>;

bool isFence(const std::string& line) {
  const auto first = line.find_first_not_of(' ');
  return first != std::string::npos && line.compare(first, 3, "```") == 0;
}

// GitHub's anchor for a heading: lower case, inline code marks and
// punctuation dropped, spaces turned into hyphens; bytes of UTF-8 letters kept.
std::string anchorOf(const std::string& heading) {
  std::string anchor;
  for (const unsigned char c : heading) {
    if (std::isalnum(c) || c == '-' || c == '_' || c >= 0x80)
      anchor += static_cast<char>(std::tolower(c));
    else if (c == ' ')
      anchor += '-';
  }
  return anchor;
}

// The anchors of a page's headings (outside code blocks); a repeated heading
// gets -1, -2, ... as on GitHub.
std::set<std::string> anchorsOf(const std::vector<std::string>& lines) {
  std::set<std::string> anchors;
  std::map<std::string, int> seen;
  bool inCode = false;
  for (const std::string& line : lines) {
    if (isFence(line)) inCode = !inCode;
    if (inCode || line.empty() || line[0] != '#') continue;
    const auto text = line.find_first_not_of('#');
    if (text == std::string::npos || line[text] != ' ') continue;
    const std::string anchor = anchorOf(line.substr(text + 1));
    const int count = seen[anchor]++;
    anchors.insert(count == 0 ? anchor : anchor + "-" + std::to_string(count));
  }
  return anchors;
}

// Every link target of a page outside code blocks: [text](target) and
// <img src="target">.
std::vector<std::string> targetsOf(const std::vector<std::string>& lines) {
  std::vector<std::string> targets;
  bool inCode = false;
  for (const std::string& line : lines) {
    if (isFence(line)) inCode = !inCode;
    if (inCode) continue;
    for (size_t at = line.find("]("); at != std::string::npos; at = line.find("](", at + 2)) {
      const auto end = line.find(')', at + 2);
      if (end != std::string::npos) targets.push_back(line.substr(at + 2, end - at - 2));
    }
    for (size_t at = line.find("src=\""); at != std::string::npos; at = line.find("src=\"", at + 5)) {
      const auto end = line.find('"', at + 5);
      if (end != std::string::npos) targets.push_back(line.substr(at + 5, end - at - 5));
    }
  }
  return targets;
}

// One line per link that does not resolve: a relative path that is neither a
// page nor a file under root, or an #anchor that no heading of its page has.
std::vector<std::string> brokenLinks(const Pages& pages, const fs::path& root) {
  std::vector<std::string> broken;
  for (const auto& [page, lines] : pages) {
    for (const std::string& target : targetsOf(lines)) {
      if (target.find("://") != std::string::npos || target.starts_with("mailto:")) continue;
      const auto hash = target.find('#');
      const std::string file = target.substr(0, hash);
      std::string resolved = page;
      if (!file.empty())
        resolved = (fs::path(page).parent_path() / file).lexically_normal().generic_string();
      const auto linked = pages.find(resolved);
      if (linked == pages.end() && (root.empty() || !fs::exists(root / resolved))) {
        broken.push_back(page + ": " + target + ": no such file");
        continue;
      }
      if (hash == std::string::npos) continue;
      if (linked == pages.end() || !anchorsOf(linked->second).contains(target.substr(hash + 1)))
        broken.push_back(page + ": " + target + ": no such heading");
    }
  }
  return broken;
}

std::vector<std::string> linesOf(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string joined(const std::vector<std::string>& lines) {
  std::ostringstream out;
  for (const std::string& line : lines) out << line << '\n';
  return out.str();
}

TEST(DocsLinks, EveryRelativeLinkAndAnchorOfTheReadmeAndDocsResolves) {
  const fs::path root = TOVRANE_SOURCE_DIR;
  Pages pages;
  pages["README.md"] = linesOf(root / "README.md");
  for (const auto& entry : fs::directory_iterator(root / "docs"))
    if (entry.path().extension() == ".md")
      pages["docs/" + entry.path().filename().string()] = linesOf(entry.path());
  ASSERT_GE(pages.size(), 8u) << "README.md and the docs/ pages were not found under " << root;
  EXPECT_GT(targetsOf(pages["README.md"]).size(), 10u) << "the README links to every page";
  const std::vector<std::string> broken = brokenLinks(pages, root);
  EXPECT_TRUE(broken.empty()) << joined(broken);
}

TEST(DocsLinks, FindsMissingPagesAndHeadingsAsGitHubNamesThem) {
  Pages pages;
  pages["README.md"] = {"# Tovrane", "[a](docs/a.md#on-a-clock) [b](docs/b.md) [c](#tovrane)",
                        "[d](#the-tovrane-tool-1) [e](https://example.org/x#y)", "```",
                        "[in code](nowhere.md)", "```", "<img src=\"docs/missing.png\">"};
  pages["docs/a.md"] = {"# The `tovrane` tool", "## On a clock", "# The `tovrane` tool",
                        "## Deterministic, resumable, shardable", "[up](../README.md#tovrane)",
                        "[self](#deterministic-resumable-shardable) [bad](#on-a-clock-1)",
                        "[d](../README.md#the-tovrane-tool)"};
  const std::vector<std::string> expected = {
      "README.md: docs/b.md: no such file",
      "README.md: #the-tovrane-tool-1: no such heading",
      "README.md: docs/missing.png: no such file",
      "docs/a.md: #on-a-clock-1: no such heading",
      "docs/a.md: ../README.md#the-tovrane-tool: no such heading",
  };
  EXPECT_EQ(brokenLinks(pages, {}), expected);
  EXPECT_TRUE(anchorsOf(pages["docs/a.md"]).contains("the-tovrane-tool-1"));
}

}  // namespace
