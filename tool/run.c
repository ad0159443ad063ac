#include <stdio.h>

#include "corepen.h"
#include "winapi.h"

static BOOL IsWindows9xFamily(void)
{
    OSVERSIONINFOA version = {0};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) &&
           version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

int RunCorepen(int argc, char **argv)
{
    if (argc < 2) {
        printf("Argument 1-n: Processor IDs, #( 0 - 31 supported)\n\n"
               "Example: Corepen 0 1\n\n");
        return 1;
    }
    if (IsWindows9xFamily()) {
        printf("WinNT/2000/XP REQUIRED!\n");
        return 1;
    }
    AffinityMask mask = BuildAffinityMask(argc, argv);
    /* Every warning is out, even to a pipe or a file, before any process
       changes: a process confined next may be the one reading them. */
    fflush(stdout);
    ApplyAffinityToAllProcesses(mask);
    return 0;
}
