/* The kernel objects behind this layer's handles. A HANDLE is a pointer to
   one of them; the pseudo-handle of the calling process is not. */
#ifndef COREPEN_PLATFORM_LINUX_OBJECTS_H
#define COREPEN_PLATFORM_LINUX_OBJECTS_H

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

/* While a thread snapshot is open, a walk over it is under way: the process
   layer may keep what it learns from one entry for the next. */
void process_walk_begins(void);
void process_walk_ends(void);

#endif
