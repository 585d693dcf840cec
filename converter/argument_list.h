// The program's command line as a list of file paths.
//
// Words are separated by blanks (0x20) only; a tab stays inside a word. Double quotes group
// and are never copied; they may stand anywhere in a word. A backslash directly before a
// double quote becomes a literal double quote (the quote state does not change, and every
// further quote rewrites the same character). Any other backslash stays. An unclosed quote runs
// to the end. There is no limit on the number or length of the words.
#pragma once

#include <cstdint>

#include "converter/clock.h"
#include "converter/message_log.h"

namespace vantrel {

class ArgumentList {
 public:
  explicit ArgumentList(const char* text = nullptr);
  virtual ~ArgumentList();
  ArgumentList(const ArgumentList&) = delete;
  ArgumentList& operator=(const ArgumentList&) = delete;

  // Replaces the list with the words of text (null: no words).
  void assign(const char* text);
  // Splits the held text in place and builds the word array; returns the number of words.
  int splitWords();
  int count() const { return count_; }
  // The i-th word, or null when there is no such word.
  const char* word(int index) const;
  void clear();

 private:
  char* text_ = nullptr;    // after splitting: the words one after another, each NUL-ended
  char** words_ = nullptr;  // pointers into text_
  int32_t count_ = 0;
};

// Logs and splits every file named in the command-line text, in order, as a drop would.
void convertArgumentFiles(const char* commandLine, MessageLog& log, Clock& clock = systemClock());

}  // namespace vantrel
