// Copying one member out of a GGD archive: into a local block for the host, or into a file
// named after the member in the host's folder, with progress reports on the way.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"
#include "plugin_api/plugin_api.h"

namespace felbrin {

constexpr size_t kOutputPathChars = 260;    // the folder, the member name and a terminator
constexpr uint32_t kWritePieceBytes = 65520;

// The host's callback and user value, stored at the start of every GetFile call.
// Library-wide and unguarded: calls into the library must not overlap.
void SetProgressSlot(spi::ProgressCallback callback, spi::UserData user);

// Calls the stored callback with (done, total, user). 1 when it asks to stop, else 0; with
// no callback nothing is called and the answer is 0.
int ReportProgress(int done, int total);

// The routines that take paths below exist for both export families: Char is char (ANSI
// paths) or spi::WideChar (UTF-16 paths, opened through the wide calls).

// Reads `size` bytes at `position` of the file into a new fixed, zero-filled local block of
// exactly that size. 0 with *block set; 4 when the block cannot be had; 6 when the file
// cannot be opened or the member read whole.
template <typename Char>
int ReadMember(const Char* path, int64_t position, uint32_t size, HLOCAL* block);

// Hands the member's block over through *handle after one progress report. 0, or 1 when
// the callback asks to stop (the block is then freed and nothing stored).
int HandMemberOver(HLOCAL block, HLOCAL* handle);

// `folder` followed directly by `name` (the host ends its folder with a separator). False,
// with nothing stored, when the two and a terminator do not fit the output path buffer
// (counted in characters of the family).
template <typename Char>
bool JoinOutputPath(const Char* folder, const Char* name, Char (&path)[kOutputPathChars]);

// Writes the member's bytes to folder + name in pieces of kWritePieceBytes, reporting
// (0, size) first and (written, size) after each piece but the last. 0 when written; -1 when
// the path does not fit, the file cannot be created, or a piece cannot be written (the file
// is then deleted); 1 when the callback asks to stop (what was written stays).
template <typename Char>
int WriteMemberFile(const Char* folder, const Char* name, const uint8_t* bytes, uint32_t size);

}  // namespace felbrin
