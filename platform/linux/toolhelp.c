#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/statfs.h>
#include <unistd.h>

#include "objects.h"

/* include/uapi/linux/magic.h */
#define PROC_SUPER_MAGIC 0x9fa0

/* The processes are listed when the snapshot is taken; the threads of each
   as the enumeration reaches it, so that a set made there can start from
   that list and go on with the same open directory. */
struct snapshot {
    struct object base;
    int proc;
    struct id_list processes;
    size_t next_process;
    pid_t owner;
    unsigned long visit;
    int tasks;
    struct id_list threads;
    size_t next_thread;
};

/* The one being walked: the last one taken that is still open. */
static struct snapshot *walked;
static unsigned long visits;

static void LeaveProcess(struct snapshot *snapshot)
{
    if (snapshot->tasks >= 0)
        close(snapshot->tasks);
    snapshot->tasks = -1;
    snapshot->threads.count = 0;
    snapshot->next_thread = 0;
    snapshot->visit = 0;
}

/* Moves to the next process that still has threads; FALSE past the last. */
static BOOL NextProcess(struct snapshot *snapshot)
{
    LeaveProcess(snapshot);
    while (snapshot->next_process < snapshot->processes.count) {
        pid_t pid = snapshot->processes.ids[snapshot->next_process++];
        char path[32];
        snprintf(path, sizeof path, "%d/task", (int)pid);
        snapshot->tasks = openat(snapshot->proc, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (snapshot->tasks >= 0 && read_ids(snapshot->tasks, 0, &snapshot->threads) == 0 &&
            snapshot->threads.count > 0) {
            snapshot->owner = pid;
            snapshot->visit = ++visits;
            return TRUE;
        }
        LeaveProcess(snapshot);
    }
    return FALSE;
}

static void Free(struct snapshot *snapshot)
{
    LeaveProcess(snapshot);
    if (snapshot->proc >= 0)
        close(snapshot->proc);
    free(snapshot->processes.ids);
    free(snapshot->threads.ids);
    snapshot->base.kind = 0;
    free(snapshot);
}

/* Threads only; the process identifier plays no part, as on Windows. Only
   a mounted procfs will do: without one there is nothing to list. */
HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD process_id)
{
    (void)process_id;
    if (!(flags & TH32CS_SNAPTHREAD))
        return INVALID_HANDLE_VALUE;
    struct snapshot *snapshot = calloc(1, sizeof *snapshot);
    if (!snapshot)
        return INVALID_HANDLE_VALUE;
    snapshot->base.kind = OBJECT_SNAPSHOT;
    snapshot->tasks = -1;
    snapshot->proc = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct statfs fs;
    if (snapshot->proc < 0 || fstatfs(snapshot->proc, &fs) != 0 ||
        fs.f_type != PROC_SUPER_MAGIC || read_ids(snapshot->proc, 0, &snapshot->processes) != 0) {
        Free(snapshot);
        return INVALID_HANDLE_VALUE;
    }
    walked = snapshot;
    process_walk_begins();
    return snapshot;
}

void snapshot_close(struct object *object)
{
    struct snapshot *snapshot = (struct snapshot *)object;
    if (walked == snapshot)
        walked = NULL;
    Free(snapshot);
    process_walk_ends();
}

BOOL walk_position(struct walk_position *position)
{
    if (!walked || walked->next_thread == 0 || walked->next_thread > walked->threads.count)
        return FALSE;
    *position = (struct walk_position){walked->owner, walked->visit, &walked->threads};
    return TRUE;
}

int walk_take_tasks(pid_t pid)
{
    struct walk_position position;
    if (!walk_position(&position) || position.pid != pid)
        return -1;
    int tasks = walked->tasks;
    walked->tasks = -1;
    return tasks;
}

static BOOL WriteEntry(struct snapshot *snapshot, THREADENTRY32 *entry)
{
    if (entry->dwSize < sizeof *entry)
        return FALSE;
    if (snapshot->next_thread >= snapshot->threads.count && !NextProcess(snapshot))
        return FALSE;
    *entry = (THREADENTRY32){
        .dwSize = sizeof *entry,
        .th32ThreadID = (DWORD)snapshot->threads.ids[snapshot->next_thread++],
        .th32OwnerProcessID = (DWORD)snapshot->owner,
        .tpBasePri = 8,
    };
    return TRUE;
}

BOOL WINAPI Thread32First(HANDLE handle, THREADENTRY32 *entry)
{
    struct snapshot *snapshot = object_of(handle, OBJECT_SNAPSHOT);
    if (!snapshot)
        return FALSE;
    LeaveProcess(snapshot);
    snapshot->next_process = 0;
    return WriteEntry(snapshot, entry);
}

BOOL WINAPI Thread32Next(HANDLE handle, THREADENTRY32 *entry)
{
    struct snapshot *snapshot = object_of(handle, OBJECT_SNAPSHOT);
    return snapshot && WriteEntry(snapshot, entry);
}
