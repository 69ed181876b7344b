#include "drv_ingii/i-compat.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>


int IngSplitWords(const char* text, int* argc, char*** argv) {
  *argc = 0;
  *argv = nullptr;
  if (text == nullptr) return -1;
  std::vector<std::string> words;
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  std::string cur;
  bool inWord = false, escaped = false;
  char quote = 0;
  for (; *p; ++p) {
    char c = *p;
    if (escaped) {
      cur += c;
      escaped = false;
      inWord = true;
    } else if (c == '\\') {
      escaped = true;
      inWord = true;
    } else if (quote) {
      if (c == quote) quote = 0;
      else cur += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
      inWord = true;
    } else if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(cur);
      cur.clear();
      inWord = false;
    } else {
      cur += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(cur);
  char** v = static_cast<char**>(std::calloc(words.size() + 1, sizeof(char*)));
  if (v == nullptr) return -1;
  for (size_t i = 0; i < words.size(); ++i) v[i] = strdup(words[i].c_str());
  *argc = int(words.size());
  *argv = v;
  return 0;
}

void IngFreeWords(char** argv) {
  if (argv == nullptr) return;
  for (char** p = argv; *p; ++p) std::free(*p);
  std::free(argv);
}
