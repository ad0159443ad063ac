#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/statfs.h>
#include <unistd.h>

#include "objects.h"

/* include/uapi/linux/magic.h */
#define PROC_SUPER_MAGIC 0x9fa0

struct thread_id {
    DWORD thread;
    DWORD owner;
};

struct snapshot {
    struct object base;
    struct thread_id *threads;
    size_t count, capacity, next;
};

/* The number a /proc entry is named for, or 0 if it is not all digits. */
static DWORD EntryNumber(const char *name)
{
    DWORD number = 0;
    if (!*name)
        return 0;
    for (; *name; name++) {
        if (*name < '0' || *name > '9' || number > (UINT32_MAX - 9) / 10)
            return 0;
        number = number * 10 + (DWORD)(*name - '0');
    }
    return number;
}

static BOOL Append(struct snapshot *snapshot, DWORD thread, DWORD owner)
{
    if (snapshot->count == snapshot->capacity) {
        size_t capacity = snapshot->capacity ? 2 * snapshot->capacity : 1024;
        struct thread_id *grown =
            realloc(snapshot->threads, capacity * sizeof *grown);
        if (!grown)
            return FALSE;
        snapshot->threads = grown;
        snapshot->capacity = capacity;
    }
    snapshot->threads[snapshot->count++] = (struct thread_id){thread, owner};
    return TRUE;
}

/* Lists the threads of one process; a process that is gone has none. */
static BOOL AppendThreadsOf(struct snapshot *snapshot, int proc, DWORD pid,
                            const char *name)
{
    char path[32];
    snprintf(path, sizeof path, "%s/task", name);
    int fd = openat(proc, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return TRUE;
    DIR *tasks = fdopendir(fd);
    if (!tasks) {
        close(fd);
        return TRUE;
    }
    BOOL ok = TRUE;
    struct dirent *entry;
    while (ok && (entry = readdir(tasks)))
        if (EntryNumber(entry->d_name))
            ok = Append(snapshot, EntryNumber(entry->d_name), pid);
    closedir(tasks);
    return ok;
}

static BOOL ReadAllThreads(struct snapshot *snapshot)
{
    DIR *proc = opendir("/proc");
    if (!proc)
        return FALSE;
    struct statfs fs;
    BOOL ok = fstatfs(dirfd(proc), &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
    struct dirent *entry;
    while (ok && (entry = readdir(proc))) {
        DWORD pid = EntryNumber(entry->d_name);
        if (pid)
            ok = AppendThreadsOf(snapshot, dirfd(proc), pid, entry->d_name);
    }
    closedir(proc);
    return ok;
}

/* Threads only; the process identifier plays no part, as on Windows. */
HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD process_id)
{
    (void)process_id;
    if (!(flags & TH32CS_SNAPTHREAD))
        return INVALID_HANDLE_VALUE;
    struct snapshot *snapshot = calloc(1, sizeof *snapshot);
    if (!snapshot)
        return INVALID_HANDLE_VALUE;
    snapshot->base.kind = OBJECT_SNAPSHOT;
    if (!ReadAllThreads(snapshot)) {
        free(snapshot->threads);
        free(snapshot);
        return INVALID_HANDLE_VALUE;
    }
    process_walk_begins();
    return snapshot;
}

void snapshot_close(struct object *object)
{
    struct snapshot *snapshot = (struct snapshot *)object;
    process_walk_ends();
    snapshot->base.kind = 0;
    free(snapshot->threads);
    free(snapshot);
}

static BOOL WriteEntry(struct snapshot *snapshot, THREADENTRY32 *entry)
{
    if (entry->dwSize < sizeof *entry || snapshot->next >= snapshot->count)
        return FALSE;
    const struct thread_id *thread = &snapshot->threads[snapshot->next++];
    *entry = (THREADENTRY32){
        .dwSize = sizeof *entry,
        .th32ThreadID = thread->thread,
        .th32OwnerProcessID = thread->owner,
        .tpBasePri = 8,
    };
    return TRUE;
}

BOOL WINAPI Thread32First(HANDLE handle, THREADENTRY32 *entry)
{
    struct snapshot *snapshot = object_of(handle, OBJECT_SNAPSHOT);
    if (!snapshot)
        return FALSE;
    snapshot->next = 0;
    return WriteEntry(snapshot, entry);
}

BOOL WINAPI Thread32Next(HANDLE handle, THREADENTRY32 *entry)
{
    struct snapshot *snapshot = object_of(handle, OBJECT_SNAPSHOT);
    return snapshot && WriteEntry(snapshot, entry);
}
