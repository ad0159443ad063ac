#include "fake_platform.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <map>

namespace fake {
namespace {

Machine machine;
std::vector<std::string> calls;
size_t cursor;
// Handles are addresses in this array: the snapshot is slot 0, a process
// handle the slot after the last one given out.
char handle_space[1 << 16];
size_t next_process_slot;
std::map<HANDLE, std::string> open_handles;

HANDLE const kSelf = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

void Record(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Record(const char* format, ...) {
  char line[160];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  calls.push_back(line);
}

std::string Name(HANDLE handle) {
  if (handle == kSelf) return "self";
  auto found = open_handles.find(handle);
  return found == open_handles.end() ? "unknown handle" : found->second;
}

BOOL WriteEntry(HANDLE snapshot, THREADENTRY32* entry) {
  if (snapshot != handle_space || cursor >= machine.threads.size())
    return FALSE;
  const ThreadEntry& thread = machine.threads[cursor++];
  // Even an entry too short to hold it carries an owner here, so that only
  // the reported size can keep the tool from using it.
  entry->th32OwnerProcessID = thread.owner;
  entry->dwSize = thread.size;
  return TRUE;
}

}  // namespace

void Install(const Machine& description) {
  machine = description;
  calls.clear();
  cursor = 0;
  next_process_slot = 1;
  open_handles.clear();
}

const std::vector<std::string>& Calls() { return calls; }

int OpenHandles() { return static_cast<int>(open_handles.size()); }

bool IsFakeHandle(HANDLE handle) {
  const char* address = static_cast<const char*>(handle);
  return address >= handle_space && address < handle_space + sizeof handle_space;
}

BOOL WINAPI GetVersionExA(OSVERSIONINFOA* info) {
  Record("GetVersionExA(%u)", static_cast<unsigned>(info->dwOSVersionInfoSize));
  if (!machine.version_succeeds) return FALSE;
  info->dwPlatformId = machine.platform_id;
  return TRUE;
}

HANDLE WINAPI GetCurrentProcess() {
  Record("GetCurrentProcess()");
  return kSelf;
}

BOOL WINAPI GetProcessAffinityMask(HANDLE process, DWORD_PTR* process_mask,
                                   DWORD_PTR* system_mask) {
  Record("GetProcessAffinityMask(%s, %#llx, %#llx)", Name(process).c_str(),
         static_cast<unsigned long long>(*process_mask),
         static_cast<unsigned long long>(*system_mask));
  if (!machine.affinity_query_succeeds) return FALSE;
  *process_mask = machine.system_mask;
  *system_mask = machine.system_mask;
  return TRUE;
}

HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD process_id) {
  Record("CreateToolhelp32Snapshot(%u, %u)", static_cast<unsigned>(flags),
         static_cast<unsigned>(process_id));
  if (machine.on_snapshot) machine.on_snapshot();
  if (machine.snapshot_refused) return INVALID_HANDLE_VALUE;
  open_handles[handle_space] = "snapshot";
  return handle_space;
}

BOOL WINAPI Thread32First(HANDLE snapshot, THREADENTRY32* entry) {
  Record("Thread32First(%s, %u)", Name(snapshot).c_str(),
         static_cast<unsigned>(entry->dwSize));
  cursor = 0;
  return WriteEntry(snapshot, entry);
}

BOOL WINAPI Thread32Next(HANDLE snapshot, THREADENTRY32* entry) {
  Record("Thread32Next(%s, %u)", Name(snapshot).c_str(),
         static_cast<unsigned>(entry->dwSize));
  return WriteEntry(snapshot, entry);
}

HANDLE WINAPI OpenProcess(DWORD access, BOOL inherit, DWORD process_id) {
  Record("OpenProcess(%#x, %d, %u)", static_cast<unsigned>(access), inherit,
         static_cast<unsigned>(process_id));
  if (machine.unopenable.count(process_id) ||
      next_process_slot >= sizeof handle_space)
    return nullptr;
  HANDLE handle = handle_space + next_process_slot++;
  open_handles[handle] = "process " + std::to_string(process_id);
  return handle;
}

BOOL WINAPI SetProcessAffinityMask(HANDLE process, DWORD_PTR mask) {
  Record("SetProcessAffinityMask(%s, %#llx)", Name(process).c_str(),
         static_cast<unsigned long long>(mask));
  return open_handles.count(process) ? TRUE : FALSE;
}

BOOL WINAPI CloseHandle(HANDLE object) {
  Record("CloseHandle(%s)", Name(object).c_str());
  return open_handles.erase(object) ? TRUE : FALSE;
}

}  // namespace fake
