/* A Windows process for the end-to-end tests to confine.

   win_helper spawn N TAG   start a process of N sleeping threads, with TAG on
                            its command line, and print its process id once
                            they all exist
   win_helper mask PID      print the process's affinity mask in hex */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static DWORD WINAPI Sleeper(LPVOID unused)
{
    (void)unused;
    Sleep(INFINITE);
    return 0;
}

static int Live(int threads, HANDLE ready)
{
    for (int i = 1; i < threads; i++)
        if (!CreateThread(NULL, 64 * 1024, Sleeper, NULL, 0, NULL))
            return 1;
    SetEvent(ready);
    CloseHandle(ready);
    Sleep(INFINITE);
    return 0;
}

static int Spawn(const char *threads, const char *tag)
{
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    HANDLE ready = CreateEventA(&inheritable, TRUE, FALSE, NULL);
    char self[MAX_PATH], command[2 * MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    snprintf(command, sizeof command, "\"%s\" live %s %s %lu", self, threads, tag,
             (unsigned long)(ULONG_PTR)ready);
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process;
    if (!ready || !CreateProcessA(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL,
                                  &startup, &process))
        return 1;
    DWORD waited = WaitForSingleObject(ready, 60000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(ready);
    if (waited != WAIT_OBJECT_0)
        return 1;
    printf("%lu\n", (unsigned long)process.dwProcessId);
    return 0;
}

static int Mask(DWORD pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    DWORD_PTR process_mask, system_mask;
    if (!process || !GetProcessAffinityMask(process, &process_mask, &system_mask))
        return 1;
    CloseHandle(process);
    printf("%lx\n", (unsigned long)process_mask);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 4 && strcmp(argv[1], "spawn") == 0)
        return Spawn(argv[2], argv[3]);
    if (argc == 5 && strcmp(argv[1], "live") == 0)
        return Live(atoi(argv[2]), (HANDLE)(ULONG_PTR)strtoul(argv[4], NULL, 10));
    if (argc == 3 && strcmp(argv[1], "mask") == 0)
        return Mask(strtoul(argv[2], NULL, 10));
    fprintf(stderr, "usage: see the comment at the top of win_helper.c\n");
    return 2;
}
