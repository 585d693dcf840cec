// The Win32 calls this tool set makes. On Windows this is <windows.h>; elsewhere the
// platform library supplies the same calls with the behaviour our code relies on, so the
// same sources build natively for unit tests, sanitizers and fuzzing.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else

#include <cstddef>
#include <cstdint>

#ifdef VANTREL_PLATFORM_BUILD
#define PLATFORM_API __attribute__((visibility("default")))
#else
#define PLATFORM_API
#endif

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t UINT_PTR;
typedef char CHAR;
typedef char16_t WCHAR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef LONG* PLONG;
typedef void* HANDLE;
typedef void* HLOCAL;
typedef void* HGLOBAL;
typedef void* HWND;
typedef void* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef int64_t LONGLONG;

// A 64-bit file position or size, as the "Ex" file calls take it.
typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define CP_ACP 0
#define MB_ERR_INVALID_CHARS 0x00000008u
#define CP_UTF8 65001
#define ERROR_FILE_EXISTS 80
#define ERROR_ALREADY_EXISTS 183
#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define PF_XMMI64_INSTRUCTIONS_AVAILABLE 10

#define LMEM_FIXED 0x0000u
#define LMEM_MOVEABLE 0x0002u
#define LMEM_ZEROINIT 0x0040u
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED* LPOVERLAPPED;

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME;

typedef struct _SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

typedef enum _GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard } GET_FILEEX_INFO_LEVELS;

typedef struct _WIN32_FILE_ATTRIBUTE_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
} WIN32_FILE_ATTRIBUTE_DATA;

typedef struct _WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

extern "C" {

// Files. A handle stands for an open file descriptor; paths are passed to the system as
// they are (use '/' in native tests).
PLATFORM_API HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD attributes, HANDLE templateFile);
PLATFORM_API BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
PLATFORM_API BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                            LPOVERLAPPED overlapped);
PLATFORM_API DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
PLATFORM_API DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
// The same two in 64 bits, without the ambiguity of a low part that reads as the error value.
PLATFORM_API BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition, DWORD method);
PLATFORM_API BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
// A file's attributes, times and size by its name, without opening it (GetFileExInfoStandard
// fills a WIN32_FILE_ATTRIBUTE_DATA).
PLATFORM_API BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID information);
PLATFORM_API BOOL GetFileAttributesExW(const WCHAR* name, GET_FILEEX_INFO_LEVELS level, LPVOID information);
// Times in 100-nanosecond units since 1601-01-01 (UTC); any of the three may be null.
PLATFORM_API BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);
PLATFORM_API BOOL CloseHandle(HANDLE object);
// A second handle to the file an open handle stands for, with its own position.
PLATFORM_API HANDLE ReOpenFile(HANDLE original, DWORD access, DWORD share, DWORD flags);
PLATFORM_API BOOL DeleteFileA(LPCSTR name);
// Why the calling thread's last file call failed; only CreateFileA sets it here, and only
// ERROR_FILE_EXISTS is told apart (every other failure reads as 0).
PLATFORM_API DWORD GetLastError(void);

// Wide (UTF-16) file names: converted to the system's multi-byte form (UTF-8 here) and
// handed to the calls above.
PLATFORM_API HANDLE CreateFileW(const WCHAR* name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD attributes, HANDLE templateFile);
PLATFORM_API BOOL DeleteFileW(const WCHAR* name);

// Code page conversion. Off Windows the ANSI code page (CP_ACP) is UTF-8, as the system's
// own file names are; results follow the Windows rules (count 0 on failure, -1 as a source
// length means "up to and including the NUL").
PLATFORM_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength,
                                     WCHAR* destination, int destinationLength);
PLATFORM_API int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* source, int sourceLength,
                                     LPSTR destination, int destinationLength, LPCSTR defaultChar,
                                     BOOL* usedDefaultChar);

// The system's multi-byte form here is UTF-8, which has no double-byte characters: FALSE.
PLATFORM_API BOOL IsDBCSLeadByte(BYTE byte);
// Ordinal comparison of UTF-16 text (lengths in units, -1: up to the NUL); ignoring case
// folds ASCII letters only, as the directory search below does. CSTR_LESS_THAN,
// CSTR_EQUAL or CSTR_GREATER_THAN.
PLATFORM_API int CompareStringOrdinal(const WCHAR* first, int firstLength, const WCHAR* second, int secondLength,
                                      BOOL ignoreCase);

// Directory search with Windows wildcard rules ('*', '?', case-insensitive ASCII, and a
// pattern "stem.*" also matching an entry named exactly "stem"; directories count).
PLATFORM_API HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found);
PLATFORM_API BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA found);
PLATFORM_API BOOL FindClose(HANDLE search);

// Local and global memory. Every block, fixed or moveable, is addressed by its handle:
// locking returns the handle itself, as locking a fixed block does on Windows.
PLATFORM_API HLOCAL LocalAlloc(UINT flags, size_t bytes);
PLATFORM_API LPVOID LocalLock(HLOCAL block);
PLATFORM_API BOOL LocalUnlock(HLOCAL block);
PLATFORM_API HLOCAL LocalFree(HLOCAL block);
PLATFORM_API size_t LocalSize(HLOCAL block);
PLATFORM_API HGLOBAL GlobalAlloc(UINT flags, size_t bytes);
PLATFORM_API LPVOID GlobalLock(HGLOBAL block);
PLATFORM_API BOOL GlobalUnlock(HGLOBAL block);
PLATFORM_API HGLOBAL GlobalFree(HGLOBAL block);
PLATFORM_API size_t GlobalSize(HGLOBAL block);

// Time.
PLATFORM_API DWORD GetTickCount(void);
PLATFORM_API void GetLocalTime(LPSYSTEMTIME time);

// The processor. PF_XMMI64_INSTRUCTIONS_AVAILABLE: the processor has SSE2 (the system is
// taken to save its registers, as every Windows from 2000 does); any other feature: FALSE.
PLATFORM_API BOOL IsProcessorFeaturePresent(DWORD feature);

}  // extern "C"

#endif  // _WIN32
