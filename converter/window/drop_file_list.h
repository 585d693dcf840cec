// A view of one shell drop: the number of dropped names and each name in turn, in UTF-16, so
// that names of any script open whatever the system's code page.
#pragma once

#include <windows.h>

#include <string>

#include "converter/message_log.h"

namespace vantrel {

constexpr UINT kDropNameLength = MAX_PATH;  // characters of a dropped name, NUL included

class DropFileList {
 public:
  explicit DropFileList(HDROP drop);
  virtual ~DropFileList() = default;
  DropFileList(const DropFileList&) = delete;
  DropFileList& operator=(const DropFileList&) = delete;

  UINT count() const { return count_; }
  // Name i, or null when there is no such name or it does not fit the 260-character buffer
  // (a cut path could name another file).
  const wchar_t* name(UINT index);
  // Name i in full whatever its length, for showing it in the log.
  std::wstring fullName(UINT index) const;
  // Releases the drop; the list is empty afterwards.
  void finish();

 private:
  wchar_t name_[kDropNameLength];
  HDROP drop_;
  UINT count_;
};

// Logs and splits every dropped file, in the shell's order, then releases the drop.
void convertDroppedFiles(HDROP drop, MessageLog& log);

}  // namespace vantrel
