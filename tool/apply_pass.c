#include "corepen.h"
#include "winapi.h"

/* A record that reaches this far holds the owner's process identifier. */
#define ENTRY_WITH_OWNER (offsetof(THREADENTRY32, th32OwnerProcessID) + \
                          sizeof(DWORD))

void ApplyAffinityToAllProcesses(AffinityMask mask)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;

    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    BOOL more = Thread32First(snapshot, &entry);
    while (more) {
        if (entry.dwSize >= ENTRY_WITH_OWNER) {
            HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE,
                                         entry.th32OwnerProcessID);
            if (process) {
                SetProcessAffinityMask(process, mask);
                CloseHandle(process);
            }
        }
        entry.dwSize = sizeof entry;
        more = Thread32Next(snapshot, &entry);
    }
    CloseHandle(snapshot);
}
