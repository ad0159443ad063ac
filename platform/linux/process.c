#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <stdint.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include "objects.h"

/* A process is named by its open /proc/<pid>/task directory: it lists that
   process's threads and no other's, and fails once the process is gone,
   even if the kernel has given its pid to a newer process since. */
struct process {
    struct object base;
    int references;
    pid_t pid;
    int tasks;
    unsigned long visit; /* the walk's stay it was opened at, or 0 */
    /* What the last set through it asked and got. */
    BOOL was_set;
    DWORD_PTR set_mask;
    BOOL set_result;
    /* A set still to be checked: the threads it knows of, each with the
       place it first showed in, the threads the last look counted, whether
       that look saw them all, and when to look again. */
    BOOL checking;
    cpu_set_t mask, kept_mask;
    BOOL have_kept_mask;
    pid_t first_set;
    struct known_threads {
        struct known {
            pid_t tid;
            uint32_t order;
        } *slots;
        size_t capacity, count;
    } known;
    uint32_t next_order;
    size_t last_count;
    BOOL last_whole;
    struct id_list listed;
    int checks;
    struct timespec due;
    struct process *next_pending;
};

/* A thread made by a thread that is being set may have copied the old mask
   before the set, yet show in /proc only once its creation completes. So a
   set looks at the process's threads again this much later, and again
   after every look that found a thread to move or could not be sure. A
   look that moves a thread looks again at once, a few times, to catch what
   that thread was making before it makes more: a chain of threads, each
   making the next and ending, otherwise stays a step ahead. */
#define CHECK_DELAY_NS 250000
#define MAX_CHECKS 64
#define CHASE_LOOKS 8
/* Sets waiting for their check, each with its directory open. */
#define MAX_PENDING 256

static int walks;
static struct process *last_opened;
static struct process *pending_first, *pending_last;
static int pending_count;

HANDLE WINAPI GetCurrentProcess(void)
{
    return (HANDLE)(intptr_t)-1;
}

static struct process *NewProcess(pid_t pid)
{
    struct walk_position walk;
    unsigned long visit = walk_position(&walk) && walk.pid == pid ? walk.visit : 0;
    int tasks = walk_take_tasks(pid);
    if (tasks < 0) {
        char path[32];
        snprintf(path, sizeof path, "/proc/%d/task", (int)pid);
        tasks = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    if (tasks < 0)
        return NULL;
    struct process *process = calloc(1, sizeof *process);
    if (!process) {
        close(tasks);
        return NULL;
    }
    process->base.kind = OBJECT_PROCESS;
    process->references = 1;
    process->pid = pid;
    process->tasks = tasks;
    process->visit = visit;
    return process;
}

void process_release(struct object *object)
{
    struct process *process = (struct process *)object;
    if (--process->references > 0)
        return;
    close(process->tasks);
    free(process->known.slots);
    free(process->listed.ids);
    process->base.kind = 0;
    free(process);
}

/* The desired access plays no part: a set that the caller's rights do not
   allow fails when it is tried. During a walk a thread snapshot lists the
   threads of a process one after another, so the last process opened is
   kept, and opening it again gives the same object, with what was set
   through it. As on Windows, a process that is kept open keeps its
   identity: opening its pid gives it, even once it has ended, and not a
   newer process the kernel may have given that pid. */
HANDLE WINAPI OpenProcess(DWORD desired_access, BOOL inherit_handle, DWORD process_id)
{
    (void)desired_access;
    (void)inherit_handle;
    pid_t pid = (pid_t)process_id;
    if (pid <= 0)
        return NULL;
    if (last_opened && last_opened->pid == pid) {
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

/* The processors online, from /sys/devices/system/cpu/online: a list such
   as "0-3,6". */
static BOOL OnlineMask(DWORD_PTR *mask)
{
    FILE *online = fopen("/sys/devices/system/cpu/online", "re");
    if (!online)
        return FALSE;
    DWORD_PTR found = 0;
    unsigned first, last;
    while (fscanf(online, "%u", &first) == 1) {
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
   affinity: a process confined to processor 0 may still name processor 1.
   A process's own mask is its main thread's. */
BOOL WINAPI GetProcessAffinityMask(HANDLE handle, DWORD_PTR *process_mask,
                                   DWORD_PTR *system_mask)
{
    struct process *process = object_of(handle, OBJECT_PROCESS);
    pid_t pid = process ? process->pid : 0;
    cpu_set_t set;
    DWORD_PTR online;
    if ((!process && handle != GetCurrentProcess()) ||
        sched_getaffinity(pid, sizeof set, &set) != 0 ||
        (process && !directory_alive(process->tasks)) || !OnlineMask(&online))
        return FALSE;
    DWORD_PTR mask = 0;
    for (unsigned cpu = 0; cpu < 8 * sizeof mask; cpu++)
        if (CPU_ISSET(cpu, &set))
            mask |= (DWORD_PTR)1 << cpu;
    *process_mask = mask;
    *system_mask = online;
    return TRUE;
}

/* The slot that holds tid, or the empty one where it would go: open
   addressing over a table kept at most half full. */
static struct known *Slot(const struct known_threads *known, pid_t tid)
{
    size_t i = (size_t)tid * 2654435761u & (known->capacity - 1);
    while (known->slots[i].tid && known->slots[i].tid != tid)
        i = (i + 1) & (known->capacity - 1);
    return &known->slots[i];
}

/* The place a known thread first showed in; 0 for a thread not known. */
static uint32_t OrderOf(const struct known_threads *known, pid_t tid)
{
    return known->count ? Slot(known, tid)->order : 0;
}

static BOOL Remember(struct known_threads *known, pid_t tid, uint32_t order)
{
    if (2 * (known->count + 1) > known->capacity) {
        struct known_threads grown = {NULL, known->capacity ? 2 * known->capacity : 64, 0};
        if (!(grown.slots = calloc(grown.capacity, sizeof *grown.slots)))
            return FALSE;
        for (size_t i = 0; i < known->capacity; i++)
            if (known->slots[i].tid)
                Remember(&grown, known->slots[i].tid, known->slots[i].order);
        free(known->slots);
        *known = grown;
    }
    struct known *slot = Slot(known, tid);
    if (!slot->tid)
        known->count++;
    *slot = (struct known){tid, order};
    return TRUE;
}

/* Whether a thread found on a check is where a set would put it: on the
   mask, or on the mask as the kernel keeps it for a thread set (it leaves
   out processors that a cpuset forbids). */
static BOOL IsOnMask(struct process *process, const cpu_set_t *current)
{
    if (CPU_EQUAL(current, &process->mask))
        return TRUE;
    if (!process->have_kept_mask && process->first_set &&
        sched_getaffinity(process->first_set, sizeof process->kept_mask,
                          &process->kept_mask) == 0)
        process->have_kept_mask = TRUE;
    return process->have_kept_mask && CPU_EQUAL(current, &process->kept_mask);
}

enum outcome { SETTLED, MOVED, UNSURE };

/* Sets the listed threads. A first look sets them all. A later one lists
   threads in the order they were made, so those it knows, in the order it
   knows them, were dealt with already; from the first thread that is new
   or out of that order (a reused tid), each is looked at and set unless it
   is on the mask already, as most are, made by threads already set. A
   thread once set stays set: its creator came before it in the list, and
   the kernel may give a new thread its creator's mask again just after it
   shows (cpuset_fork, kernel/cgroup/cpuset.c).
   MOVED if it moved any, else UNSURE if a listed thread has gone meanwhile:
   the kernel's listing of a process's threads stops or skips where a thread
   exits under it (proc_task_readdir, fs/proc/base.c), so the thread after
   it, often the one it just made, may be missing. */
static enum outcome SetThreads(struct process *process, const struct id_list *threads,
                               BOOL check)
{
    enum outcome outcome = SETTLED;
    BOOL fresh = !check;
    uint32_t last_order = 0;
    for (size_t i = 0; i < threads->count; i++) {
        pid_t tid = threads->ids[i];
        uint32_t order = OrderOf(&process->known, tid);
        if (!fresh && order > last_order) {
            last_order = order;
            continue;
        }
        fresh = TRUE;
        if (!Remember(&process->known, tid, ++process->next_order))
            process->set_result = FALSE;
        cpu_set_t current;
        if (check && sched_getaffinity(tid, sizeof current, &current) != 0) {
            if (outcome == SETTLED)
                outcome = UNSURE;
            continue;
        }
        if (check && IsOnMask(process, &current))
            continue;
        if (sched_setaffinity(tid, sizeof process->mask, &process->mask) != 0) {
            if (errno != ESRCH)
                process->set_result = FALSE;
            else if (outcome == SETTLED)
                outcome = UNSURE;
            continue;
        }
        outcome = MOVED;
        if (!process->first_set)
            process->first_set = tid;
    }
    return outcome;
}

static struct timespec Later(long nanoseconds)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    now.tv_nsec += nanoseconds;
    now.tv_sec += now.tv_nsec / 1000000000;
    now.tv_nsec %= 1000000000;
    return now;
}

static BOOL IsDue(const struct timespec *due)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec > due->tv_sec ||
           (now.tv_sec == due->tv_sec && now.tv_nsec >= due->tv_nsec);
}

static void Enqueue(struct process *process)
{
    process->due = Later(CHECK_DELAY_NS);
    process->next_pending = NULL;
    if (pending_last)
        pending_last->next_pending = process;
    else
        pending_first = process;
    pending_last = process;
    pending_count++;
}

static struct process *Dequeue(void)
{
    struct process *process = pending_first;
    pending_first = process->next_pending;
    if (!pending_first)
        pending_last = NULL;
    pending_count--;
    return process;
}

static void EndChecking(struct process *process)
{
    process->checking = FALSE;
    free(process->known.slots);
    process->known = (struct known_threads){NULL, 0, 0};
    process_release(&process->base);
}

/* Threads a look lists again before the end of what the last one saw:
   enough to find one it knew even if some of those have gone. */
#define OVERLAP 16

/* One look at the process's threads. After a look that saw every thread,
   only the end of the list can hold threads made since, so it reads from a
   little before where that look ended, and reads it all if what it finds
   there is not a thread it knows. */
static enum outcome Look(struct process *process)
{
    size_t skip = process->last_whole && process->last_count > OVERLAP
                      ? process->last_count - OVERLAP : 0;
    int read = read_ids(process->tasks, skip, &process->listed);
    if (read == 0 && skip &&
        (!process->listed.count || !OrderOf(&process->known, process->listed.ids[0]))) {
        skip = 0;
        read = read_ids(process->tasks, 0, &process->listed);
    }
    if (read != 0) {
        if (read == -2)
            process->set_result = FALSE;
        return SETTLED;
    }
    enum outcome outcome = SetThreads(process, &process->listed, TRUE);
    process->last_count = skip + process->listed.count;
    process->last_whole = thread_count(process->tasks) == (long)process->last_count;
    if (outcome == SETTLED && !process->last_whole)
        outcome = UNSURE;
    return outcome;
}

/* Looks at the oldest waiting set once its time has come: threads that have
   shown up off the mask are moved, and then it waits for another look. */
static void CheckOldest(void)
{
    struct process *process = Dequeue();
    while (!IsDue(&process->due))
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &process->due, NULL);
    enum outcome outcome = Look(process);
    for (int chase = 0; outcome == MOVED && chase < CHASE_LOOKS; chase++)
        if (Look(process) != MOVED)
            break;
    if (outcome != SETTLED && ++process->checks < MAX_CHECKS) {
        Enqueue(process);
        return;
    }
    /* A process whose threads keep leaving the mask is not confined. */
    if (outcome == MOVED)
        process->set_result = FALSE;
    EndChecking(process);
}

static void CheckDue(void)
{
    while (pending_first && (IsDue(&pending_first->due) || pending_count > MAX_PENDING))
        CheckOldest();
}

static void CheckAll(void)
{
    while (pending_first)
        CheckOldest();
}

void process_walk_begins(void)
{
    walks++;
}

void process_walk_ends(void)
{
    if (--walks > 0)
        return;
    CheckAll();
    if (last_opened) {
        process_release(&last_opened->base);
        last_opened = NULL;
    }
}

/* Sets every thread, starting from the walk's own list of them where the
   walk is at this process, and keeps one reference while it is checked. */
static void StartSet(struct process *process, DWORD_PTR mask)
{
    CPU_ZERO(&process->mask);
    for (unsigned cpu = 0; cpu < 8 * sizeof mask; cpu++)
        if (mask >> cpu & 1)
            CPU_SET(cpu, &process->mask);
    process->set_mask = mask;
    process->was_set = TRUE;
    process->set_result = TRUE;
    process->have_kept_mask = FALSE;
    process->first_set = 0;
    process->checks = 0;
    process->next_order = 0;
    struct walk_position walk;
    const struct id_list *threads = &process->listed;
    if (process->visit && walk_position(&walk) && walk.visit == process->visit)
        threads = walk.threads;
    else if (read_ids(process->tasks, 0, &process->listed) != 0)
        process->set_result = FALSE;
    process->last_count = threads->count;
    /* Only a long list is worth the question: a short one is read whole. */
    process->last_whole = threads->count > OVERLAP &&
                          thread_count(process->tasks) == (long)threads->count;
    SetThreads(process, threads, FALSE);
    process->checking = TRUE;
    process->references++;
    Enqueue(process);
}

/* Sets every thread of the process, also those that appear meanwhile. The
   kernel refuses an empty mask, so that changes nothing. Outside a walk it
   returns once the process is checked; during one the checks run on as
   the walk goes and are all done when it ends, and a set repeated through
   a handle to the same process, as the walk makes for each of its threads,
   gives the first one's outcome: its threads are all on the mask, and so
   is every thread they make. */
BOOL WINAPI SetProcessAffinityMask(HANDLE handle, DWORD_PTR mask)
{
    struct process *process = object_of(handle, OBJECT_PROCESS);
    if (handle == GetCurrentProcess())
        process = NewProcess(getpid());
    else if (process)
        process->references++;
    if (!process)
        return FALSE;
    BOOL result = FALSE;
    if (mask && walks && process->was_set && process->set_mask == mask) {
        result = process->set_result;
    } else if (mask) {
        while (process->checking)
            CheckOldest();
        StartSet(process, mask);
        if (walks)
            CheckDue();
        else
            CheckAll();
        result = process->set_result;
    }
    process_release(&process->base);
    return result;
}
