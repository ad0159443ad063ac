#include <stdio.h>
#include <string.h>
#include <sys/utsname.h>

#include "winapi.h"

/* Linux answers as the NT family, with the kernel's release as its
   version: 6.1.0 is major 6, minor 1, build 0. */
BOOL WINAPI GetVersionExA(OSVERSIONINFOA *info)
{
    struct utsname system;
    if (info->dwOSVersionInfoSize != sizeof *info || uname(&system) != 0)
        return FALSE;
    unsigned major = 0, minor = 0, build = 0;
    sscanf(system.release, "%u.%u.%u", &major, &minor, &build);
    memset(info, 0, sizeof *info);
    info->dwOSVersionInfoSize = sizeof *info;
    info->dwMajorVersion = major;
    info->dwMinorVersion = minor;
    info->dwBuildNumber = build;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return TRUE;
}
