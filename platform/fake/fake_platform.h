// A scripted machine for the tool's tests: it answers the kernel services
// from a description and keeps every call it was asked, in order.
#ifndef COREPEN_PLATFORM_FAKE_FAKE_PLATFORM_H
#define COREPEN_PLATFORM_FAKE_FAKE_PLATFORM_H

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "winapi.h"

namespace fake {

struct ThreadEntry {
  DWORD owner;
  DWORD size = sizeof(THREADENTRY32);  // what the enumeration reports
};

struct Machine {
  BOOL version_succeeds = TRUE;
  DWORD platform_id = VER_PLATFORM_WIN32_NT;
  BOOL affinity_query_succeeds = TRUE;
  DWORD_PTR system_mask = 0xF;
  bool snapshot_refused = false;
  std::vector<ThreadEntry> threads;
  std::set<DWORD> unopenable;  // processes OpenProcess refuses
  std::function<void()> on_snapshot;  // runs as the snapshot is taken
};

// Makes `machine` the one the services answer from, and forgets the calls.
void Install(const Machine& machine);

// Every call since Install, e.g. "OpenProcess(0x2000000, 0, 42)".
const std::vector<std::string>& Calls();

// Handles given out and not yet closed.
int OpenHandles();

// Whether the fake ever gave out this handle.
bool IsFakeHandle(HANDLE handle);

// The services themselves, bound to the platform names by the build.
BOOL WINAPI GetVersionExA(OSVERSIONINFOA* info);
HANDLE WINAPI GetCurrentProcess();
BOOL WINAPI GetProcessAffinityMask(HANDLE process, DWORD_PTR* process_mask,
                                   DWORD_PTR* system_mask);
HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD process_id);
BOOL WINAPI Thread32First(HANDLE snapshot, THREADENTRY32* entry);
BOOL WINAPI Thread32Next(HANDLE snapshot, THREADENTRY32* entry);
HANDLE WINAPI OpenProcess(DWORD access, BOOL inherit, DWORD process_id);
BOOL WINAPI SetProcessAffinityMask(HANDLE process, DWORD_PTR mask);
BOOL WINAPI CloseHandle(HANDLE object);

}  // namespace fake

#endif
