#include "zuduradu/ui/path_text.h"

#include <QTextBoundaryFinder>

#include "zuduradu/core/ascii.h"

namespace kv::ui {

std::string InPathCase(std::string_view path, kv::PathCase pathCase) {
  // ASCII only, exactly as the core folds the model path, so that the three
  // paths of one folder keep matching each other.
  return pathCase == kv::PathCase::Fold ? kv::AsciiLowered(path) : std::string(path);
}

namespace {

bool IsSeparator(QChar c) { return c == u'/' || c == u'\\'; }

// The length of the root a path starts with at i: "/", "\\\\", "c:\"; 0 when none.
qsizetype RootAt(const QString& text, qsizetype i) {
  if (i > 0 && !text[i - 1].isSpace() && !QStringLiteral("\"'(").contains(text[i - 1])) return 0;
  if (IsSeparator(text[i])) return i + 1 < text.size() && text[i + 1] == text[i] ? 2 : 1;
  return i + 2 < text.size() && text[i].isLetter() && text[i + 1] == u':' && IsSeparator(text[i + 2]) ? 3 : 0;
}

// Where the path that starts at begin ends.
qsizetype PathEnd(const QString& text, qsizetype begin) {
  qsizetype end = begin;
  for (;;) {
    while (end < text.size() && !text[end].isSpace()) ++end;
    if (end >= text.size() || text[end] != u' ') return end;
    qsizetype word = end + 1;
    while (word < text.size() && !text[word].isSpace() && !IsSeparator(text[word])) ++word;
    if (word >= text.size() || !IsSeparator(text[word])) return end;
    end = word;
  }
}

}  // namespace

QString WithPathBreaks(const QString& text) {
  constexpr QChar kJoiner(0x2060);  // no break here
  constexpr QChar kBreak(0x200B);   // a break may come here
  QTextBoundaryFinder lines(QTextBoundaryFinder::Line, text);
  QString shown;
  for (qsizetype i = 0; i < text.size();) {
    const qsizetype root = RootAt(text, i);
    if (root == 0) {
      shown += text[i++];
      continue;
    }
    const qsizetype end = PathEnd(text, i);
    const bool breaks = end - i > kWholePath;
    for (qsizetype k = i; k < end; ++k) {
      if (k > i) {
        lines.setPosition(k);
        const bool afterSeparator = k > i + root && IsSeparator(text[k - 1]);
        if (breaks && afterSeparator) {
          shown += kBreak;
        } else if (lines.isAtBoundary()) {
          shown += kJoiner;
        }
      }
      shown += text[k] == u' ' ? QChar(QChar::Nbsp) : text[k];  // lines break at a blank whatever follows
    }
    i = end;
  }
  return shown;
}

}  // namespace kv::ui
