/*
 * The kernel services the tool calls, under their Windows names.
 *
 * On Windows this is the SDK itself and the calls go straight to kernel32.
 * Elsewhere the same names are declared here and the build links one
 * implementation of them: platform/linux (the real machine) or
 * platform/fake (a scripted machine for the tests).
 */
#ifndef COREPEN_PLATFORM_WINAPI_H
#define COREPEN_PLATFORM_WINAPI_H

#include <assert.h>
#include <stddef.h>

#ifdef _WIN32
#include <windows.h>
#include <tlhelp32.h>
#else
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define WINAPI

typedef int BOOL;
typedef char CHAR;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uintptr_t DWORD_PTR;
typedef void *HANDLE;

#define FALSE 0
#define TRUE 1
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
#define TH32CS_SNAPTHREAD 0x00000004
#define MAXIMUM_ALLOWED 0x02000000

typedef struct {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA;

typedef struct {
    DWORD dwSize;
    DWORD cntUsage;
    DWORD th32ThreadID;
    DWORD th32OwnerProcessID;
    LONG tpBasePri;
    LONG tpDeltaPri;
    DWORD dwFlags;
} THREADENTRY32;

/* Nonzero on success; fills the record whose dwOSVersionInfoSize is set. */
BOOL WINAPI GetVersionExA(OSVERSIONINFOA *info);

/* A pseudo-handle for the calling process; closing it does nothing. */
HANDLE WINAPI GetCurrentProcess(void);

/* The process's mask and the system's: one bit per processor online. */
BOOL WINAPI GetProcessAffinityMask(HANDLE process, DWORD_PTR *process_mask,
                                   DWORD_PTR *system_mask);

/* With TH32CS_SNAPTHREAD, every thread of every process; or
   INVALID_HANDLE_VALUE. */
HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD process_id);

/* Nonzero when an entry was written: dwSize says how much of it. */
BOOL WINAPI Thread32First(HANDLE snapshot, THREADENTRY32 *entry);
BOOL WINAPI Thread32Next(HANDLE snapshot, THREADENTRY32 *entry);

/* A handle that keeps naming this process, or null if it cannot be had. */
HANDLE WINAPI OpenProcess(DWORD desired_access, BOOL inherit_handle,
                          DWORD process_id);

/* Puts every thread of the process on the processors of the mask. */
BOOL WINAPI SetProcessAffinityMask(HANDLE process, DWORD_PTR mask);

BOOL WINAPI CloseHandle(HANDLE object);

#ifdef __cplusplus
}
#endif
#endif

/* The tool reads these records at these places. */
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes");
static_assert(sizeof(THREADENTRY32) == 28, "THREADENTRY32 is 28 bytes");
static_assert(offsetof(THREADENTRY32, th32OwnerProcessID) == 12,
              "the owner's identifier ends at byte 16");

#endif
