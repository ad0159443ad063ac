/* The floor a run can get down to: one walk over /proc, one
   sched_setaffinity per thread, nothing else.
     floor CPU...   put every thread in /proc on these processors */
#define _GNU_SOURCE
#include <dirent.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int i = 1; i < argc; i++)
        CPU_SET(atoi(argv[i]), &set);
    DIR *proc = opendir("/proc");
    if (!proc)
        return 1;
    struct dirent *process;
    while ((process = readdir(proc))) {
        char path[64];
        snprintf(path, sizeof path, "/proc/%s/task", process->d_name);
        DIR *tasks = atoi(process->d_name) > 0 ? opendir(path) : NULL;
        struct dirent *task;
        while (tasks && (task = readdir(tasks))) {
            int tid = atoi(task->d_name);
            if (tid > 0)
                sched_setaffinity(tid, sizeof set, &set);
        }
        if (tasks)
            closedir(tasks);
    }
    closedir(proc);
    return 0;
}
