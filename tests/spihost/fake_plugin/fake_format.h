// Input files of the host's test plug-in (SpihostFake). The plug-in hands over whatever
// such a file holds, so a test can give the host any bitmap or entry list, well formed or
// not, byte for byte. All numbers little-endian.
//
// Picture file:                              Archive file:
//   0  char[8] "FAKEPIC"                       0  char[8] "FAKEARC"
//   8  i32  code of GetPictureInfo             8  i32  code of GetArchiveInfo, GetFileInfo
//  12  i32  code of GetPicture                12  i32  code of GetFile
//  16  u32  quirks                            16  u32  quirks
//  20  u32  information block length n        20  u32  member count m
//  24  u32  bits block length k               24  m x { char name[32]; u32 size; }
//  28  n bytes of information block               the members' bytes back to back; a
//  28+n  k bytes of bits                          member's position is the offset of its
//                                                 bytes from the start of the archive
//
// A non-zero code makes the export fail with it after doing its work (and freeing it).
#pragma once

#include <cstdint>

namespace fake_format {

constexpr char kPictureMagic[8] = {'F', 'A', 'K', 'E', 'P', 'I', 'C', 0};
constexpr char kArchiveMagic[8] = {'F', 'A', 'K', 'E', 'A', 'R', 'C', 0};
constexpr uint32_t kMagicSize = 8;
constexpr uint32_t kPictureHeaderSize = 28;
constexpr uint32_t kArchiveHeaderSize = 24;
constexpr uint32_t kNameSize = 32;
constexpr uint32_t kMemberRecordSize = kNameSize + 4;
// Every listed member carries this time stamp: 2001-09-09 01:46:40 UTC.
constexpr int32_t kTimestamp = 1000000000;

// Ways the plug-in breaks the interface, for tests of the host's checks.
enum Quirk : uint32_t {
  kQuirkHandlesOnFailure = 1u << 0,  // a failing call stores a (bogus) handle
  kQuirkZeroDenominator = 1u << 1,   // progress reports (0, 0)
  kQuirkAcceptNullOut = 1u << 2,     // a null out-pointer answers 0 instead of a refusal
  kQuirkMoveableBlocks = 1u << 3,    // blocks are allocated moveable (Windows: handle != address)
  kQuirkIgnoreStop = 1u << 4,        // the callback's stop request is ignored
  kQuirkInterrupt = 1u << 5,         // the user presses Ctrl-C in the middle of GetPicture or GetFile
                                     // (off Windows only: SIGINT to the host's process)
};

}  // namespace fake_format
