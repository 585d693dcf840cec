// Splitting FCG containers into standalone GGA files (".gg0") in the working directory.
//
// FCG container (all integers u32 little-endian, all positions absolute):
//
//   0   8 bytes   not read
//   8   u32       imageCount
//   12  20 bytes  not read
//   32  imageCount entries of 8 bytes:  u32 recordOffset, u32 payloadOffset
//
//   image record at recordOffset:  4 bytes not read, then the 48-byte GGA header, whose
//                                  u32 at header byte 20 is dataSize
//   image data at payloadOffset:   dataSize bytes
//
// Each output file is the 48 header bytes unchanged followed by the dataSize data bytes.
// Entries may lie in any order, overlap or share data: everything is read where the table says.
#pragma once

#include <cstdint>

#include "converter/clock.h"
#include "converter/message_log.h"
#include "platform/win32.h"

namespace vantrel {

constexpr uint32_t kFcgHeaderSize = 32;
constexpr uint32_t kImageCountOffset = 8;
constexpr uint32_t kFcgEntrySize = 8;
constexpr uint32_t kRecordPrefixSize = 4;   // bytes in front of the header in an image record
constexpr uint32_t kGgaHeaderSize = 48;
constexpr uint32_t kGgaDataSizeOffset = 20;
constexpr uint32_t kCopyBufferSize = 512;
constexpr char kOutputExtension[] = ".gg0";
constexpr char kOutputPattern[] = "fcg_%6n";

// Splits the container at path (ANSI code page) into the working directory and reports every
// file written, and the time taken, to log. Returns 0 when every image was written and 1 when
// the container cannot be opened or had to be stopped (damaged, no free name, an output file
// that cannot be created or written); the reason is in the log. Nothing is left behind of an
// image that was not written completely.
int splitFcgFile(const char* path, MessageLog& log, Clock& clock = systemClock());

// Copies length bytes from input's current position to output's current position through one
// 512-byte buffer. Returns 0 when all of them were copied, 1 when a read came short or failed
// or a write failed.
int copyBytes(HANDLE output, HANDLE input, uint32_t length);

// What the window does for every dropped or named file: the header lines with the path, then
// the split.
void convertInputFile(const char* path, MessageLog& log, Clock& clock = systemClock());

}  // namespace vantrel
