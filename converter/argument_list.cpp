#include "converter/argument_list.h"

#include <cstring>
#include <new>

#include "converter/fcg_splitter.h"

namespace vantrel {

ArgumentList::ArgumentList(const char* text) {
  if (text != nullptr) assign(text);
}

ArgumentList::~ArgumentList() { clear(); }

void ArgumentList::clear() {
  delete[] text_;
  delete[] words_;
  text_ = nullptr;
  words_ = nullptr;
  count_ = 0;
}

void ArgumentList::assign(const char* text) {
  clear();
  if (text == nullptr) return;
  size_t length = std::strlen(text);
  text_ = new (std::nothrow) char[length + 1];
  if (text_ == nullptr) return;  // no memory: no words
  std::memcpy(text_, text, length + 1);
  if (splitWords() == 0) clear();
}

int ArgumentList::splitWords() {
  delete[] words_;
  words_ = nullptr;
  count_ = 0;
  if (text_ == nullptr) return 0;
  size_t length = std::strlen(text_);
  char* output = new (std::nothrow) char[length + 1];
  if (output == nullptr) return 0;

  size_t written = 0;
  char last = '\0';  // the last character written; a rewritten quote leaves it alone
  bool quoted = false;
  int32_t count = 0;
  for (const char* p = text_; *p != '\0'; ++p) {
    char c = *p;
    if (c == '"') {
      if (last == '\\') {
        output[written - 1] = '"';
      } else {
        quoted = !quoted;
      }
    } else if (c == ' ' && !quoted) {
      if (last != '\0') {
        output[written++] = '\0';
        last = '\0';
      }
    } else {
      if (last == '\0') ++count;
      output[written++] = c;
      last = c;
    }
  }
  output[written] = '\0';  // never past length: every input character wrote at most one
  std::memcpy(text_, output, written + 1);
  delete[] output;

  if (count > 0) {
    words_ = new (std::nothrow) char*[static_cast<size_t>(count)];
    if (words_ == nullptr) return 0;
    char* word = text_;
    for (int32_t i = 0; i < count; ++i) {
      while (*word == '\0') ++word;
      words_[i] = word;
      word += std::strlen(word);
    }
  }
  count_ = count;
  return count_;
}

const char* ArgumentList::word(int index) const {
  if (text_ == nullptr || words_ == nullptr || index < 0 || index >= count_) return nullptr;
  return words_[index];
}

void convertArgumentFiles(const char* commandLine, MessageLog& log, Clock& clock) {
  ArgumentList list(commandLine);
  for (int i = 0; i < list.count(); ++i) convertInputFile(list.word(i), log, clock);
}

}  // namespace vantrel
