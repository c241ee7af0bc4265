// Plain text laid out for a readme: lines, underlined headings, and paragraphs and bullets
// wrapped at a fixed width. Lines end in LF here; the writer turns them into CR LF.
#pragma once

#include <cstddef>
#include <string>

constexpr size_t kTextWidth = 78;

struct PlainText {
  std::string text;

  void line(const std::string& s = "") { text += s + "\n"; }

  // A heading, with one blank line before it.
  void heading(const std::string& title) {
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\n\n") != 0) {
      line();
    }
    line(title);
    line(std::string(title.size(), '-'));
  }

  // Words wrapped at kTextWidth; the first line starts with `first`, later ones with `rest`.
  void paragraph(const std::string& words, const std::string& first = "",
                 const std::string& rest = "") {
    std::string current = first;
    bool empty = true;
    size_t start = 0;
    while (start < words.size()) {
      size_t end = words.find(' ', start);
      if (end == std::string::npos) {
        end = words.size();
      }
      std::string word = words.substr(start, end - start);
      start = end + 1;
      if (word.empty()) {
        continue;
      }
      if (!empty && current.size() + 1 + word.size() > kTextWidth) {
        line(current);
        current = rest;
        empty = true;
      }
      current += (empty ? "" : " ") + word;
      empty = false;
    }
    line(current);
  }

  void bullet(const std::string& words) { paragraph(words, "- ", "  "); }
};
