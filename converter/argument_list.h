// The program's command line as a list of file paths.
//
// Words are separated by blanks (0x20) only; a tab stays inside a word. Double quotes group
// and are never copied; they may stand anywhere in a word. A backslash directly before a
// double quote becomes a literal double quote (the quote state does not change, and every
// further quote rewrites the same character). Any other backslash stays. An unclosed quote runs
// to the end. There is no limit on the number or length of the words.
//
// The rules look only at blanks, quotes and backslashes, so the same list splits ANSI text and
// UTF-16 text (the program reads its command line in UTF-16, so names of any script survive).
#pragma once

#include <cstdint>

#include "converter/clock.h"
#include "converter/message_log.h"
#include "platform/win32.h"

namespace vantrel {

template <typename Char>
class BasicArgumentList {
 public:
  explicit BasicArgumentList(const Char* text = nullptr);
  virtual ~BasicArgumentList();
  BasicArgumentList(const BasicArgumentList&) = delete;
  BasicArgumentList& operator=(const BasicArgumentList&) = delete;

  // Replaces the list with the words of text (null: no words).
  void assign(const Char* text);
  // Splits the held text in place and builds the word array; returns the number of words.
  int splitWords();
  int count() const { return count_; }
  // The i-th word, or null when there is no such word.
  const Char* word(int index) const;
  void clear();

 private:
  Char* text_ = nullptr;    // after splitting: the words one after another, each NUL-ended
  Char** words_ = nullptr;  // pointers into text_
  int32_t count_ = 0;
};

using ArgumentList = BasicArgumentList<char>;
using WideArgumentList = BasicArgumentList<WCHAR>;

// The text after the program's own name and the blanks behind it, as a window program's
// start-up hands it over: a name that begins with a double quote ends at the closing one (or
// the end), any other at the first character of code 0x20 or less; then every character of
// code 0x01 to 0x20 is skipped. Null stays null.
const WCHAR* argumentsAfterProgramName(const WCHAR* commandLine);

// Logs and splits every file named in the command-line text, in order, as a drop would.
void convertArgumentFiles(const WCHAR* commandLine, MessageLog& log, Clock& clock = systemClock());

}  // namespace vantrel
