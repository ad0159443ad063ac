/* Runs a command and prints its wall time in microseconds and its peak
   resident memory in KiB: "usec maxrss_kib status".
     timed CMD ARGS... */
#include <spawn.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

extern char **environ;

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t child;
    if (posix_spawn(&child, argv[1], &actions, NULL, argv + 1, environ) != 0)
        return 1;
    int status;
    struct rusage usage;
    wait4(child, &status, 0, &usage);
    clock_gettime(CLOCK_MONOTONIC, &end);
    long long usec = (end.tv_sec - start.tv_sec) * 1000000LL +
                     (end.tv_nsec - start.tv_nsec) / 1000;
    printf("%lld %ld %d\n", usec, usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
}
