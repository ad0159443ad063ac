#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "objects.h"

/* A process as a handle names it: by pidfd where the kernel has them
   (Linux 5.3), else by its pid and start time, so that a pid the kernel has
   handed on since does not make it name another process. Handles share one
   object while a walk reuses it (see OpenProcess). */
struct process {
    struct object base;
    int references;
    pid_t pid;
    int pidfd;
    unsigned long long start_time;
    /* The last set: its mask and its outcome. */
    BOOL was_set;
    DWORD_PTR set_mask;
    BOOL set_result;
};

#define MAX_SET_ROUNDS 64

static int walks;
static struct process *last_opened;

HANDLE WINAPI GetCurrentProcess(void)
{
    return (HANDLE)(intptr_t)-1;
}

/* Field 22 of /proc/<pid>/stat, in clock ticks since boot; 0 if unreadable.
   The command name before it may hold spaces and parentheses. */
static unsigned long long StartTime(pid_t pid)
{
    char path[32], text[1024];
    snprintf(path, sizeof path, "/proc/%d/stat", (int)pid);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    ssize_t length = read(fd, text, sizeof text - 1);
    close(fd);
    if (length <= 0)
        return 0;
    text[length] = '\0';
    const char *rest = strrchr(text, ')');
    unsigned long long start = 0;
    if (!rest || sscanf(rest + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u "
                                  "%*u %*u %*d %*d %*d %*d %*d %*d %llu",
                        &start) != 1)
        return 0;
    return start;
}

static BOOL IsAlive(const struct process *process)
{
    if (process->pidfd < 0)
        return StartTime(process->pid) == process->start_time;
    /* Signal 0 only asks; refused permission still means it exists. */
    return syscall(SYS_pidfd_send_signal, process->pidfd, 0, NULL, 0) == 0 ||
           errno == EPERM;
}

static struct process *NewProcess(pid_t pid)
{
    int pidfd = (int)syscall(SYS_pidfd_open, pid, 0);
    unsigned long long start_time = 0;
    if (pidfd < 0 && errno != ENOSYS)
        return NULL;
    if (pidfd < 0 && !(start_time = StartTime(pid)))
        return NULL;
    struct process *process = calloc(1, sizeof *process);
    if (!process) {
        if (pidfd >= 0)
            close(pidfd);
        return NULL;
    }
    process->base.kind = OBJECT_PROCESS;
    process->references = 1;
    process->pid = pid;
    process->pidfd = pidfd;
    process->start_time = start_time;
    return process;
}

void process_release(struct object *object)
{
    struct process *process = (struct process *)object;
    if (--process->references > 0)
        return;
    if (process->pidfd >= 0)
        close(process->pidfd);
    process->base.kind = 0;
    free(process);
}

void process_walk_begins(void)
{
    walks++;
}

void process_walk_ends(void)
{
    if (--walks == 0 && last_opened) {
        process_release(&last_opened->base);
        last_opened = NULL;
    }
}

/* The desired access plays no part: a set that the caller's rights do not
   allow fails when it is tried. During a walk a thread snapshot lists the
   threads of a process one after another, so the last process opened is
   kept, and a handle to it again costs one check that it still lives and
   shares what was set through it. */
HANDLE WINAPI OpenProcess(DWORD desired_access, BOOL inherit_handle,
                          DWORD process_id)
{
    (void)desired_access;
    (void)inherit_handle;
    pid_t pid = (pid_t)process_id;
    if (pid <= 0)
        return NULL;
    if (last_opened && last_opened->pid == pid && IsAlive(last_opened)) {
        last_opened->references++;
        return last_opened;
    }
    struct process *process = NewProcess(pid);
    if (process && walks) {
        if (last_opened)
            process_release(&last_opened->base);
        process->references++;
        last_opened = process;
    }
    return process;
}

/* The pid a handle stands for: 0 is the caller, as the kernel takes it. */
static BOOL PidOf(HANDLE handle, pid_t *pid)
{
    struct process *process = object_of(handle, OBJECT_PROCESS);
    if (handle == GetCurrentProcess())
        *pid = 0;
    else if (process && IsAlive(process))
        *pid = process->pid;
    else
        return FALSE;
    return TRUE;
}

static DWORD_PTR MaskOf(const cpu_set_t *set)
{
    DWORD_PTR mask = 0;
    for (unsigned cpu = 0; cpu < 8 * sizeof mask; cpu++)
        if (CPU_ISSET(cpu, set))
            mask |= (DWORD_PTR)1 << cpu;
    return mask;
}

/* The processors online, from /sys/devices/system/cpu/online: a list such
   as "0-3,6". */
static BOOL OnlineMask(DWORD_PTR *mask)
{
    FILE *online = fopen("/sys/devices/system/cpu/online", "re");
    if (!online)
        return FALSE;
    DWORD_PTR found = 0;
    unsigned first, last;
    int read;
    while ((read = fscanf(online, "%u", &first)) == 1) {
        last = first;
        int next = fgetc(online);
        if (next == '-') {
            if (fscanf(online, "%u", &last) != 1)
                break;
            next = fgetc(online);
        }
        for (unsigned cpu = first; cpu <= last && cpu < 8 * sizeof found; cpu++)
            found |= (DWORD_PTR)1 << cpu;
        if (next != ',')
            break;
    }
    fclose(online);
    if (!found)
        return FALSE;
    *mask = found;
    return TRUE;
}

/* The system mask is every processor online, whatever the caller's own
   affinity: a process confined to processor 0 may still name processor 1. */
BOOL WINAPI GetProcessAffinityMask(HANDLE handle, DWORD_PTR *process_mask,
                                   DWORD_PTR *system_mask)
{
    pid_t pid;
    cpu_set_t set;
    DWORD_PTR online;
    if (!PidOf(handle, &pid) || sched_getaffinity(pid, sizeof set, &set) != 0 ||
        !OnlineMask(&online))
        return FALSE;
    *process_mask = MaskOf(&set);
    *system_mask = online;
    return TRUE;
}

/* Thread ids already dealt with in one set: open addressing over a table
   kept at most half full. */
struct thread_set {
    pid_t *slots;
    size_t capacity, count;
};

/* 1 if added, 0 if there already, -1 out of memory. */
static int AddThread(struct thread_set *set, pid_t tid)
{
    if (2 * (set->count + 1) > set->capacity) {
        struct thread_set grown = {NULL, set->capacity ? 2 * set->capacity : 64, 0};
        if (!(grown.slots = calloc(grown.capacity, sizeof *grown.slots)))
            return -1;
        for (size_t i = 0; i < set->capacity; i++)
            if (set->slots[i])
                AddThread(&grown, set->slots[i]);
        free(set->slots);
        *set = grown;
    }
    size_t i = (size_t)tid * 2654435761u & (set->capacity - 1);
    for (; set->slots[i]; i = (i + 1) & (set->capacity - 1))
        if (set->slots[i] == tid)
            return 0;
    set->slots[i] = tid;
    set->count++;
    return 1;
}

enum round_result { ROUND_SETTLED, ROUND_CHANGED, ROUND_GONE };

/* One read of the process's threads: every thread not seen before is put
   on `mask`, unless it is on it already. A thread takes its affinity from
   the thread that created it, so once a read finds nothing to change, every
   thread to come will be on the mask too. `settled` is the mask as the
   kernel keeps it (it drops processors a cpuset forbids), read back from the
   first thread set. */
static enum round_result SetRound(struct process *process, const cpu_set_t *mask,
                                  cpu_set_t *settled, BOOL *have_settled,
                                  struct thread_set *seen, BOOL *refused)
{
    char path[32];
    snprintf(path, sizeof path, "/proc/%d/task", (int)process->pid);
    DIR *tasks = opendir(path);
    if (!tasks)
        return ROUND_GONE;
    enum round_result result = ROUND_SETTLED;
    BOOL first_round = seen->count == 0;
    struct dirent *entry;
    while ((entry = readdir(tasks))) {
        pid_t tid = (pid_t)atoi(entry->d_name);
        if (tid <= 0)
            continue;
        int added = AddThread(seen, tid);
        if (added < 0) {
            *refused = TRUE;
            break;
        }
        if (!added)
            continue;
        cpu_set_t current;
        /* The first read sets outright; later ones look first, since most
           threads they find were made by threads already set. */
        if (!first_round && sched_getaffinity(tid, sizeof current, &current) == 0 &&
            (CPU_EQUAL(&current, mask) || (*have_settled && CPU_EQUAL(&current, settled))))
            continue;
        if (sched_setaffinity(tid, sizeof *mask, mask) != 0) {
            if (errno != ESRCH)
                *refused = TRUE;
            continue;
        }
        result = ROUND_CHANGED;
        if (!*have_settled && sched_getaffinity(tid, sizeof *settled, settled) == 0)
            *have_settled = TRUE;
    }
    closedir(tasks);
    /* The threads were those of this process only if it still lives. */
    return IsAlive(process) ? result : ROUND_GONE;
}

static BOOL SetEveryThread(struct process *process, DWORD_PTR mask)
{
    cpu_set_t set, settled;
    CPU_ZERO(&set);
    for (unsigned cpu = 0; cpu < 8 * sizeof mask; cpu++)
        if (mask >> cpu & 1)
            CPU_SET(cpu, &set);
    struct thread_set seen = {NULL, 0, 0};
    BOOL refused = FALSE, have_settled = FALSE;
    enum round_result round = ROUND_CHANGED;
    for (int i = 0; round == ROUND_CHANGED && i < MAX_SET_ROUNDS; i++)
        round = SetRound(process, &set, &settled, &have_settled, &seen, &refused);
    free(seen.slots);
    /* A process whose threads keep leaving the mask is not confined. */
    return round == ROUND_SETTLED && !refused;
}

/* Sets every thread of the process, also those that appear meanwhile. The
   kernel refuses an empty mask, so that changes nothing. During a walk, a
   set repeated through a handle to the same process, as the walk makes for
   each of its threads, gives the first one's outcome without touching it
   again: its threads are all on the mask, and so is every thread they make. */
BOOL WINAPI SetProcessAffinityMask(HANDLE handle, DWORD_PTR mask)
{
    struct process *process = object_of(handle, OBJECT_PROCESS);
    struct process self = {.pid = getpid(), .pidfd = -1};
    if (handle == GetCurrentProcess()) {
        self.start_time = StartTime(self.pid);
        process = &self;
    }
    if (!process || !mask)
        return FALSE;
    if (walks && process->was_set && process->set_mask == mask)
        return process->set_result;
    process->set_result = SetEveryThread(process, mask);
    process->set_mask = mask;
    process->was_set = TRUE;
    return process->set_result;
}
