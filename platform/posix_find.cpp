// FindFirstFileA / FindNextFileA / FindClose over opendir, with Windows wildcard rules.
#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "platform/wildcard.h"
#include "platform/win32.h"

namespace {

struct Search {
  DIR* dir;
  std::string directory;
  std::string pattern;
};

bool nextMatch(Search& search, WIN32_FIND_DATAA* found) {
  while (dirent* entry = readdir(search.dir)) {
    if (!platform::wildcardMatches(search.pattern.c_str(), entry->d_name)) continue;
    std::memset(found, 0, sizeof *found);
    std::strncpy(found->cFileName, entry->d_name, MAX_PATH - 1);
    struct stat st;
    std::string full = search.directory + "/" + entry->d_name;
    if (stat(full.c_str(), &st) == 0) {
      found->dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
      uint64_t size = static_cast<uint64_t>(st.st_size);
      found->nFileSizeHigh = static_cast<DWORD>(size >> 32);
      found->nFileSizeLow = static_cast<DWORD>(size);
    }
    return true;
  }
  return false;
}

}  // namespace

extern "C" {

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found) {
  if (pattern == nullptr || found == nullptr) return INVALID_HANDLE_VALUE;
  const char* slash = std::strrchr(pattern, '/');
  const char* backslash = std::strrchr(pattern, '\\');
  if (backslash > slash) slash = backslash;
  std::string directory = slash ? std::string(pattern, slash - pattern) : std::string(".");
  if (directory.empty()) directory = "/";
  std::string name = slash ? std::string(slash + 1) : std::string(pattern);
  if (name.empty()) return INVALID_HANDLE_VALUE;

  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return INVALID_HANDLE_VALUE;
  Search* search = new Search{dir, directory, name};
  if (!nextMatch(*search, found)) {
    closedir(dir);
    delete search;
    return INVALID_HANDLE_VALUE;
  }
  return search;
}

BOOL FindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA found) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || found == nullptr) return FALSE;
  return nextMatch(*static_cast<Search*>(handle), found) ? TRUE : FALSE;
}

BOOL FindClose(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return FALSE;
  Search* search = static_cast<Search*>(handle);
  closedir(search->dir);
  delete search;
  return TRUE;
}

}  // extern "C"
