// Windows base types, calling convention, error codes and last-error access,
// as the Windows declarations under host/ use them. On Windows the SDK's own
// definitions are used; elsewhere the platform library provides them.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else

#include <cstdint>

#define WINAPI

typedef int BOOL;
typedef std::uint8_t BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef std::uint32_t ULONG;
typedef std::int32_t HRESULT;
typedef std::intptr_t LPARAM;
typedef wchar_t WCHAR;
typedef void VOID;
typedef void* PVOID;
typedef void* LPVOID;
typedef void* HANDLE;
typedef void* HWND;
typedef BYTE* PBYTE;
typedef BYTE* LPBYTE;
typedef DWORD* PDWORD;
typedef DWORD* LPDWORD;
typedef BOOL* PBOOL;
typedef BOOL* LPBOOL;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

// Results of the shell functions.
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_FAIL ((HRESULT)0x80004005u)
#define E_INVALIDARG ((HRESULT)0x80070057u)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

// Codes given by GetLastError.
#define ERROR_SUCCESS 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_INVALID_DATA 13u
#define ERROR_WRITE_FAULT 29u
#define ERROR_NOT_SUPPORTED 50u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_INVALID_NAME 123u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_CANCELLED 1223u
#define ERROR_INVALID_CMM 2010u
#define ERROR_INVALID_PROFILE 2011u
#define ERROR_TAG_NOT_FOUND 2012u
#define ERROR_INVALID_COLORSPACE 2017u
#define ERROR_INVALID_TRANSFORM 2020u
#define ERROR_COLORSPACE_MISMATCH 2021u

extern "C" {

/// Code of the last failure of a Windows function on this thread.
DWORD WINAPI GetLastError(void);
/// Sets the code GetLastError gives.
void WINAPI SetLastError(DWORD code);

}  // extern "C"

#endif  // _WIN32
