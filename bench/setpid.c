/* One step of the per-process loop the benchmark compares against, the
   way `taskset -a -p` works: read one process's threads, set each.
     setpid CPU PID */
#define _GNU_SOURCE
#include <dirent.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    cpu_set_t set, current;
    CPU_ZERO(&set);
    CPU_SET(atoi(argv[1]), &set);
    char path[64];
    snprintf(path, sizeof path, "/proc/%s/task", argv[2]);
    DIR *tasks = opendir(path);
    if (!tasks)
        return 1;
    struct dirent *task;
    while ((task = readdir(tasks))) {
        int tid = atoi(task->d_name);
        if (tid > 0 && sched_getaffinity(tid, sizeof current, &current) == 0)
            sched_setaffinity(tid, sizeof set, &set);
    }
    closedir(tasks);
    return 0;
}
