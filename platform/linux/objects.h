/* The kernel objects behind this layer's handles. A HANDLE is a pointer to
   one of them; the pseudo-handle of the calling process is not. */
#ifndef COREPEN_PLATFORM_LINUX_OBJECTS_H
#define COREPEN_PLATFORM_LINUX_OBJECTS_H

#include <stddef.h>
#include <sys/types.h>

#include "winapi.h"

enum object_kind {
    OBJECT_SNAPSHOT = 0x534e4150,
    OBJECT_PROCESS = 0x50524f43,
};

struct object {
    enum object_kind kind;
};

/* The object a handle names, if it is one of this kind. */
void *object_of(HANDLE handle, enum object_kind kind);

void snapshot_close(struct object *snapshot);
void process_release(struct object *process);

/* Numbers named by the entries of a /proc directory: pids or tids. */
struct id_list {
    pid_t *ids;
    size_t count, capacity;
};

/* Reads them from the open directory, all but the first `skip` (a task
   directory lists threads in the order they were made, and skips cheaply);
   -1 if it is gone (a process's directory is, once the process is), -2 out
   of memory. */
int read_ids(int directory, size_t skip, struct id_list *list);

/* How many threads the process of an open task directory has now. */
long thread_count(int tasks);

/* Whether the open directory is still there: a process's stays until the
   process is gone, even if its pid is given to another one. */
BOOL directory_alive(int directory);

/* Where the walk of the open thread snapshot is: the process whose threads
   its enumeration is giving and those threads as it listed them. `visit`
   tells one stay at a process from another. */
struct walk_position {
    pid_t pid;
    unsigned long visit;
    const struct id_list *threads;
};
BOOL walk_position(struct walk_position *position);

/* The walk's open task directory of that process, handed over to the
   caller to close; -1 if the walk is elsewhere or has handed it over. */
int walk_take_tasks(pid_t pid);

/* From the first thread snapshot taken to the last one closed a walk is
   under way: sets made meanwhile finish checking at its end. */
void process_walk_begins(void);
void process_walk_ends(void);

#endif
