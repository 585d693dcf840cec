// Windows file-name wildcard matching, as FindFirstFile applies it.
#pragma once

namespace platform {

// '*' matches any run of characters, '?' any one character; letters compare without
// regard to ASCII case. A pattern ending in ".*" also matches the name without that
// suffix, so "stem.*" matches "stem" itself.
bool wildcardMatches(const char* pattern, const char* name);

}  // namespace platform
