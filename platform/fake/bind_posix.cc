// Where the kernel services are plain C functions, the fake is them.
#include "fake_platform.h"

extern "C" {
BOOL GetVersionExA(OSVERSIONINFOA* i) { return fake::GetVersionExA(i); }
HANDLE GetCurrentProcess(void) { return fake::GetCurrentProcess(); }
BOOL GetProcessAffinityMask(HANDLE p, DWORD_PTR* pm, DWORD_PTR* sm) {
  return fake::GetProcessAffinityMask(p, pm, sm);
}
HANDLE CreateToolhelp32Snapshot(DWORD f, DWORD p) {
  return fake::CreateToolhelp32Snapshot(f, p);
}
BOOL Thread32First(HANDLE s, THREADENTRY32* e) {
  return fake::Thread32First(s, e);
}
BOOL Thread32Next(HANDLE s, THREADENTRY32* e) {
  return fake::Thread32Next(s, e);
}
HANDLE OpenProcess(DWORD a, BOOL i, DWORD p) {
  return fake::OpenProcess(a, i, p);
}
BOOL SetProcessAffinityMask(HANDLE p, DWORD_PTR m) {
  return fake::SetProcessAffinityMask(p, m);
}
BOOL CloseHandle(HANDLE o) { return fake::CloseHandle(o); }
}
