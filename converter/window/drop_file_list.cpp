#include "converter/window/drop_file_list.h"

#include "converter/fcg_splitter.h"
#include "converter/message_log.h"
#include "converter/messages.h"

namespace vantrel {

DropFileList::DropFileList(HDROP drop) : drop_(drop), count_(0) {
  name_[0] = L'\0';
  if (drop_ != nullptr) count_ = DragQueryFileW(drop_, 0xFFFFFFFF, nullptr, 0);
}

const wchar_t* DropFileList::name(UINT index) {
  if (drop_ == nullptr || index >= count_) return nullptr;
  UINT length = DragQueryFileW(drop_, index, nullptr, 0);
  if (length >= kDropNameLength) return nullptr;
  DragQueryFileW(drop_, index, name_, kDropNameLength);
  return name_;
}

std::wstring DropFileList::fullName(UINT index) const {
  if (drop_ == nullptr || index >= count_) return std::wstring();
  UINT length = DragQueryFileW(drop_, index, nullptr, 0);
  std::wstring name(length + 1, L'\0');
  UINT copied = DragQueryFileW(drop_, index, &name[0], length + 1);
  name.resize(copied);
  return name;
}

void DropFileList::finish() {
  if (drop_ != nullptr) DragFinish(drop_);
  drop_ = nullptr;
  count_ = 0;
}

void convertDroppedFiles(HDROP drop, MessageLog& log) {
  DropFileList list(drop);
  for (UINT i = 0; i < list.count(); ++i) {
    const wchar_t* name = list.name(i);
    if (name != nullptr) {
      convertInputFile(name, log);
      continue;
    }
    log.append(messages::kInputHeader);
    log.appendName(list.fullName(i).c_str());
    log.append(messages::kLineEnd);
    log.append(messages::kPathTooLong);
  }
  list.finish();
}

}  // namespace vantrel
