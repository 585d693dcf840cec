// The command-line word splitter over arbitrary text, as ANSI bytes and as UTF-16. Whatever the
// text, the list must hold exactly count non-empty words, each made only of characters of the
// text; the UTF-16 list must split the same text into the same words; a word that holds no
// double quote and does not end in a backslash must come back unchanged when it is quoted and
// split again; and skipping the program's name must stop inside the text, after every blank.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "converter/argument_list.h"

namespace {

using vantrel::ArgumentList;
using vantrel::WideArgumentList;
using WideString = std::basic_string<WCHAR>;

std::vector<std::string> wordsOf(const ArgumentList& list) {
  std::vector<std::string> words;
  for (int i = 0; i < list.count(); ++i) {
    const char* word = list.word(i);
    if (word == nullptr || *word == '\0') std::abort();
    words.push_back(word);
  }
  if (list.word(list.count()) != nullptr || list.word(-1) != nullptr) std::abort();
  return words;
}

// Each byte as the UTF-16 unit of the same value, and back.
WideString widen(const std::string& text) {
  WideString wide;
  for (char c : text) wide.push_back(static_cast<WCHAR>(static_cast<unsigned char>(c)));
  return wide;
}

std::string narrow(const WCHAR* text) {
  std::string out;
  for (; *text != 0; ++text) out.push_back(static_cast<char>(*text));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.c_str();  // the command line ends at its first NUL

  ArgumentList list(text.c_str());
  std::vector<std::string> words = wordsOf(list);
  size_t characters = 0;
  for (const std::string& word : words) characters += word.size();
  if (characters > text.size()) std::abort();
  // Blanks inside a word come only from quotes; quotes inside a word only from backslashes.
  for (const std::string& word : words) {
    if (word.find(' ') != std::string::npos && text.find('"') == std::string::npos) std::abort();
    if (word.find('"') != std::string::npos && text.find('\\') == std::string::npos) std::abort();
    for (char c : word) {
      if (c != '"' && text.find(c) == std::string::npos) std::abort();
    }
  }

  WideString wide = widen(text);
  WideArgumentList wideList(wide.c_str());
  if (wideList.count() != list.count()) std::abort();
  for (int i = 0; i < wideList.count(); ++i) {
    if (narrow(wideList.word(i)) != words[static_cast<size_t>(i)]) std::abort();
  }

  for (const std::string& word : words) {
    if (word.find('"') != std::string::npos || word.back() == '\\') continue;
    ArgumentList again(("\"" + word + "\"").c_str());
    if (again.count() != 1 || again.word(0) != word) std::abort();
  }

  const WCHAR* arguments = vantrel::argumentsAfterProgramName(wide.c_str());
  if (arguments < wide.c_str() || arguments > wide.c_str() + wide.size()) std::abort();
  if (*arguments != 0 && *arguments <= ' ') std::abort();
  return 0;
}
