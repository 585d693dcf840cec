#include "converter/argument_list.h"

#include <cstring>
#include <new>
#include <string>

#include "converter/fcg_splitter.h"

namespace vantrel {

namespace {

template <typename Char>
size_t textLength(const Char* text) {
  return std::char_traits<Char>::length(text);
}

}  // namespace

template <typename Char>
BasicArgumentList<Char>::BasicArgumentList(const Char* text) {
  if (text != nullptr) assign(text);
}

template <typename Char>
BasicArgumentList<Char>::~BasicArgumentList() {
  clear();
}

template <typename Char>
void BasicArgumentList<Char>::clear() {
  delete[] text_;
  delete[] words_;
  text_ = nullptr;
  words_ = nullptr;
  count_ = 0;
}

template <typename Char>
void BasicArgumentList<Char>::assign(const Char* text) {
  clear();
  if (text == nullptr) return;
  size_t length = textLength(text);
  text_ = new (std::nothrow) Char[length + 1];
  if (text_ == nullptr) return;  // no memory: no words
  std::memcpy(text_, text, (length + 1) * sizeof(Char));
  if (splitWords() == 0) clear();
}

template <typename Char>
int BasicArgumentList<Char>::splitWords() {
  delete[] words_;
  words_ = nullptr;
  count_ = 0;
  if (text_ == nullptr) return 0;
  size_t length = textLength(text_);
  Char* output = new (std::nothrow) Char[length + 1];
  if (output == nullptr) return 0;

  size_t written = 0;
  Char last = 0;  // the last character written; a rewritten quote leaves it alone
  bool quoted = false;
  int32_t count = 0;
  for (const Char* p = text_; *p != 0; ++p) {
    Char c = *p;
    if (c == Char('"')) {
      if (last == Char('\\')) {
        output[written - 1] = Char('"');
      } else {
        quoted = !quoted;
      }
    } else if (c == Char(' ') && !quoted) {
      if (last != 0) {
        output[written++] = 0;
        last = 0;
      }
    } else {
      if (last == 0) ++count;
      output[written++] = c;
      last = c;
    }
  }
  output[written] = 0;  // never past length: every input character wrote at most one
  std::memcpy(text_, output, (written + 1) * sizeof(Char));
  delete[] output;

  if (count > 0) {
    words_ = new (std::nothrow) Char*[static_cast<size_t>(count)];
    if (words_ == nullptr) return 0;
    Char* word = text_;
    for (int32_t i = 0; i < count; ++i) {
      while (*word == 0) ++word;
      words_[i] = word;
      word += textLength(word);
    }
  }
  count_ = count;
  return count_;
}

template <typename Char>
const Char* BasicArgumentList<Char>::word(int index) const {
  if (text_ == nullptr || words_ == nullptr || index < 0 || index >= count_) return nullptr;
  return words_[index];
}

template class BasicArgumentList<char>;
template class BasicArgumentList<WCHAR>;

const WCHAR* argumentsAfterProgramName(const WCHAR* commandLine) {
  if (commandLine == nullptr) return nullptr;
  const WCHAR* p = commandLine;
  if (*p == '"') {
    ++p;
    while (*p != 0 && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p > ' ') ++p;
  }
  while (*p != 0 && *p <= ' ') ++p;
  return p;
}

void convertArgumentFiles(const WCHAR* commandLine, MessageLog& log, Clock& clock) {
  WideArgumentList list(commandLine);
  for (int i = 0; i < list.count(); ++i) convertInputFile(list.word(i), log, clock);
}

}  // namespace vantrel
