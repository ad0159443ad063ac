// Code built against the SDK calls kernel32 through its import pointers
// (__imp__Name@argbytes, 32-bit stdcall). Defining those pointers here
// points the calls at the fake; the linker then takes nothing of kernel32's
// import library for these nine.
#include "fake_platform.h"

namespace {

// The test framework and the C runtime close handles of their own through
// the same pointer: those go on to kernel32.
BOOL WINAPI CloseAnyHandle(HANDLE object) {
  if (fake::IsFakeHandle(object)) return fake::CloseHandle(object);
  static const auto kernel32_close = reinterpret_cast<BOOL(WINAPI*)(HANDLE)>(
      reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleA("kernel32.dll"), "CloseHandle")));
  return kernel32_close(object);
}

}  // namespace

// Both ways a call may come: through the import pointer, or to the thunk
// that jumps through it (what the SDK declares without dllimport).
#define BIND(name, argbytes, function)                                      \
  extern "C" void* const bind_##name __asm__("__imp__" #name "@" #argbytes) = \
      reinterpret_cast<void*>(&function);                                   \
  __asm__(".text\n.globl _" #name "@" #argbytes "\n_" #name "@" #argbytes   \
          ":\n\tjmp *__imp__" #name "@" #argbytes "\n")

BIND(GetVersionExA, 4, fake::GetVersionExA);
BIND(GetCurrentProcess, 0, fake::GetCurrentProcess);
BIND(GetProcessAffinityMask, 12, fake::GetProcessAffinityMask);
BIND(CreateToolhelp32Snapshot, 8, fake::CreateToolhelp32Snapshot);
BIND(Thread32First, 8, fake::Thread32First);
BIND(Thread32Next, 8, fake::Thread32Next);
BIND(OpenProcess, 12, fake::OpenProcess);
BIND(SetProcessAffinityMask, 8, fake::SetProcessAffinityMask);
BIND(CloseHandle, 4, CloseAnyHandle);
