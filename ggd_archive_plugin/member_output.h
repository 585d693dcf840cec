// Copying one member out of a GGD archive: into a local block for the host, or into a file
// named after the member in the host's folder, with progress reports on the way.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"
#include "plugin_api/plugin_api.h"

namespace felbrin {

constexpr size_t kOutputPathChars = 260;    // the folder, the member name and a terminator
constexpr uint32_t kCopyPieceBytes = 65520;  // members are read and written in pieces of this

#ifdef _WIN32
constexpr char kFolderSeparator = '\\';
#else
constexpr char kFolderSeparator = '/';  // the native build hands paths to the system as they are
#endif

// The host's callback and user value for one GetFile call. Each call carries its own, so
// that calls on several threads report to their own callbacks only.
struct Progress {
  spi::ProgressCallback callback = nullptr;
  spi::UserData user = 0;

  // Calls the callback with (done, total, user); 1 when it asks to stop, else 0. With no
  // callback nothing is called and the answer is 0. A total of 0 is reported as 1, since
  // hosts divide by it.
  int Report(int done, int total) const;
};

// The routines that take paths below exist for both export families: Char is char (ANSI
// paths) or spi::WideChar (UTF-16 paths, opened through the wide calls).

// Reads `size` bytes at `position` of the open archive into a new fixed, zero-filled local
// block of exactly that size. 0 with *block set; 4 when the block cannot be had; 6 when the
// member cannot be read whole. The caller has checked that the member lies inside the file.
int ReadMember(HANDLE archive, int64_t position, uint32_t size, HLOCAL* block);

// Hands the member's block over through *handle after one progress report. 0, or 1 when
// the callback asks to stop (the block is then freed and nothing stored).
int HandMemberOver(HLOCAL block, HLOCAL* handle, const Progress& progress);

// `folder`, a separator unless it ends in one already (or is empty), and `name`. False, with
// nothing stored, when they and a terminator do not fit the output path buffer (counted in
// characters of the family).
template <typename Char>
bool JoinOutputPath(const Char* folder, const Char* name, Char (&path)[kOutputPathChars]);

// Copies the member (`size` bytes at `position` of the open archive) into folder + name,
// reading and writing it in pieces of kCopyPieceBytes through one buffer of that size; reports
// (0, size) first and (copied, size) after each piece but the last. 0 when written; -1 when
// the name is not one plain file name, the path does not fit, the file cannot be created or a
// piece cannot be written; 6 when a piece cannot be read; 4 when the buffer cannot be had;
// 1 when the callback asks to stop (what was written stays). A refused name or path creates
// nothing; a failed read or write deletes the file.
template <typename Char>
int CopyMemberToFolder(HANDLE archive, int64_t position, uint32_t size, const Char* folder, const Char* name,
                       const Progress& progress);

}  // namespace felbrin
