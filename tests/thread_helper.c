/* Processes for the tests and the benchmark to confine, and a view of
   where every thread may run.

   thread_helper spawn N [chain|spawner]  start a process of N sleeping threads
                                        and return once they all exist; chain
                                        adds a thread that keeps replacing
                                        itself, spawner one that keeps adding
                                        sleeping threads
   thread_helper forker                 start a process that keeps forking
                                        short-lived children
   thread_helper report                 one line per thread in /proc:
                                        pid tid uid mask(hex)
   thread_helper show                   the same as a table for people
   thread_helper check MASK             list the threads not on MASK (hex);
                                        status 1 if there are any
   thread_helper as UID CMD...          run CMD as that user
   thread_helper pin CPU CMD...         run CMD confined to that processor */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#define SPAWNER_LIMIT 3000

static void *Sleep(void *unused)
{
    (void)unused;
    for (;;)
        pause();
    return NULL;
}

static int Start(void *(*body)(void *), void *argument)
{
    pthread_t thread;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 64 * 1024);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    int error = pthread_create(&thread, &attributes, body, argument);
    pthread_attr_destroy(&attributes);
    return error;
}

static void *Chain(void *unused)
{
    while (Start(Chain, unused) != 0)
        usleep(100);
    return NULL;
}

static void *Spawner(void *unused)
{
    for (int i = 0; i < SPAWNER_LIMIT; i++) {
        Start(Sleep, unused);
        usleep(200);
    }
    return Sleep(unused);
}

static void *Forker(void *unused)
{
    for (;;) {
        pid_t child = fork();
        if (child == 0)
            _exit(0);
        if (child > 0)
            waitpid(child, NULL, 0);
    }
    return unused;
}

/* Forks a process of `threads` sleeping threads in all, and `extra` if
   given, and returns once they exist. */
static int Spawn(int threads, void *(*extra)(void *))
{
    int ready[2];
    if (pipe(ready) != 0)
        return 1;
    pid_t child = fork();
    if (child < 0)
        return 1;
    if (child == 0) {
        close(ready[0]);
        setsid();
        /* Whoever waits for the output of the command need not wait for it. */
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        for (int i = 1; i < threads; i++)
            if (Start(Sleep, NULL) != 0)
                _exit(1);
        if (extra && Start(extra, NULL) != 0)
            _exit(1);
        if (write(ready[1], "r", 1) != 1)
            _exit(1);
        close(ready[1]);
        Sleep(NULL);
    }
    close(ready[1]);
    char byte;
    int ok = read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    if (ok)
        printf("%d\n", (int)child);
    return ok ? 0 : 1;
}

static unsigned long long MaskOf(pid_t tid)
{
    cpu_set_t set;
    unsigned long long mask = 0;
    if (sched_getaffinity(tid, sizeof set, &set) != 0)
        return 0;
    for (int cpu = 0; cpu < 64; cpu++)
        if (CPU_ISSET(cpu, &set))
            mask |= 1ull << cpu;
    return mask;
}

/* The processors of a mask as a list: "0-2,5". */
static void ListOf(unsigned long long mask, char *list, size_t size)
{
    size_t used = 0;
    list[0] = '\0';
    for (int cpu = 0; cpu < 64 && used < size; cpu++) {
        if (!(mask >> cpu & 1))
            continue;
        int last = cpu;
        while (last + 1 < 64 && mask >> (last + 1) & 1)
            last++;
        used += (size_t)snprintf(list + used, size - used,
                                 last > cpu ? "%s%d-%d" : "%s%d",
                                 used ? "," : "", cpu, last);
        cpu = last;
    }
}

static void Comm(int pid, char *name, size_t size)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/comm", pid);
    FILE *file = fopen(path, "r");
    if (!file || !fgets(name, (int)size, file))
        snprintf(name, size, "?\n");
    if (file)
        fclose(file);
}

static int Report(int for_people)
{
    DIR *proc = opendir("/proc");
    if (!proc)
        return 1;
    if (for_people)
        printf("%7s %7s  %-8s %s\n", "PID", "TID", "CPUS", "COMMAND");
    struct dirent *process;
    while ((process = readdir(proc))) {
        int pid = atoi(process->d_name);
        char path[64], name[64];
        snprintf(path, sizeof path, "/proc/%d/task", pid);
        DIR *tasks = pid > 0 ? opendir(path) : NULL;
        if (!tasks)
            continue;
        struct stat owner;
        snprintf(path, sizeof path, "/proc/%d", pid);
        if (stat(path, &owner) != 0)
            owner.st_uid = (uid_t)-1;
        Comm(pid, name, sizeof name);
        struct dirent *task;
        while ((task = readdir(tasks))) {
            int tid = atoi(task->d_name);
            if (tid <= 0)
                continue;
            if (!for_people) {
                printf("%d %d %d %llx\n", pid, tid, (int)owner.st_uid, MaskOf(tid));
                continue;
            }
            char list[256];
            ListOf(MaskOf(tid), list, sizeof list);
            printf("%7d %7d  %-8s %s", pid, tid, list, name);
        }
        closedir(tasks);
    }
    closedir(proc);
    return 0;
}

static int Check(unsigned long long mask)
{
    int off = 0;
    DIR *proc = opendir("/proc");
    struct dirent *process;
    while (proc && (process = readdir(proc))) {
        char path[64];
        snprintf(path, sizeof path, "/proc/%s/task", process->d_name);
        DIR *tasks = atoi(process->d_name) > 0 ? opendir(path) : NULL;
        struct dirent *task;
        while (tasks && (task = readdir(tasks))) {
            int tid = atoi(task->d_name);
            unsigned long long on = tid > 0 ? MaskOf(tid) : mask;
            if (on && on != mask) {
                printf("thread %d of %s is on %llx\n", tid, process->d_name, on);
                off++;
            }
        }
        if (tasks)
            closedir(tasks);
    }
    if (proc)
        closedir(proc);
    return off ? 1 : 0;
}

int main(int argc, char **argv)
{
    if (argc >= 3 && strcmp(argv[1], "spawn") == 0) {
        void *(*extra)(void *) = NULL;
        if (argc >= 4)
            extra = strcmp(argv[3], "chain") == 0 ? Chain : Spawner;
        return Spawn(atoi(argv[2]), extra);
    }
    if (argc == 2 && strcmp(argv[1], "forker") == 0)
        return Spawn(1, Forker);
    if (argc == 2 && strcmp(argv[1], "report") == 0)
        return Report(0);
    if (argc == 2 && strcmp(argv[1], "show") == 0)
        return Report(1);
    if (argc == 3 && strcmp(argv[1], "check") == 0)
        return Check(strtoull(argv[2], NULL, 16));
    if (argc >= 4 && strcmp(argv[1], "as") == 0) {
        uid_t user = (uid_t)atoi(argv[2]);
        if (setgroups(0, NULL) != 0 || setgid(user) != 0 || setuid(user) != 0)
            return 126;
        execvp(argv[3], argv + 3);
        return 127;
    }
    if (argc >= 4 && strcmp(argv[1], "pin") == 0) {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(atoi(argv[2]), &set);
        if (sched_setaffinity(0, sizeof set, &set) != 0)
            return 126;
        execvp(argv[3], argv + 3);
        return 127;
    }
    fprintf(stderr, "usage: see the comment at the top of thread_helper.c\n");
    return 2;
}
