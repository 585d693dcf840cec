// Names in Felbrin's two export families. The ANSI exports take and give 8-bit names in the
// system code page, the Unicode ("W") exports UTF-16. The archive's member names are bytes
// of the system code page; the Unicode records hold them converted from it.
#pragma once


#include "plugin_api/plugin_api.h"

namespace felbrin {

// Member names and archive paths compare, and member names widen, by the interface's rules
// (plugin_api/member_names.h).

// Whether a member name may become a file inside the host's folder: one plain file name that
// Windows stores as written and that names no device. Refused: an empty name; any '\', '/'
// or ':' (other folders, drives, alternate data streams); the characters Windows refuses in
// names (* ? " < > |); control characters (below 0x20, and DEL); a last character '.' or ' ' (Windows drops them,
// so "." and ".." and "A." name something else); and the device names CON, PRN, AUX, NUL,
// CONIN$, CONOUT$, COM0-COM9 and LPT0-LPT9 (also with a superscript 1, 2 or 3), in any
// letter case, alone or before an extension ("nul.txt"). An ANSI name is judged in UTF-16,
// as the system converts it, so that the second byte of a double-byte character is never
// taken for a separator.
bool IsPlainFileName(const spi::WideChar* name);
bool IsPlainFileName(const char* name);

// Whether a folder path ends in '\' or '/' (judged like IsPlainFileName for ANSI paths, which
// must be shorter than MAX_PATH bytes). An empty path does not.
bool EndsWithSeparator(const spi::WideChar* path);
bool EndsWithSeparator(const char* path);

}  // namespace felbrin
