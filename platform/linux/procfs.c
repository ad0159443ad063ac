#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "objects.h"

/* struct linux_dirent64, include/linux/dirent.h */
struct entry {
    uint64_t inode;
    int64_t offset;
    unsigned short length;
    unsigned char type;
    char name[];
};

static pid_t IdOf(const char *name)
{
    long id = 0;
    if (!*name)
        return 0;
    for (; *name; name++) {
        if (*name < '0' || *name > '9' || id > INT32_MAX / 10)
            return 0;
        id = id * 10 + (*name - '0');
    }
    return (pid_t)id;
}

int read_ids(int directory, size_t skip, struct id_list *list)
{
    char buffer[32768];
    off_t start = skip ? (off_t)skip + 2 : 0;
    list->count = 0;
    if (lseek(directory, start, SEEK_SET) != start)
        return -1;
    for (;;) {
        long length = syscall(SYS_getdents64, directory, buffer, sizeof buffer);
        if (length < 0)
            return errno == ENOMEM ? -2 : -1;
        if (length == 0)
            return 0;
        /* What /proc leaves room for after a short read is its end. */
        BOOL last = length < (long)sizeof buffer - 512;
        for (long at = 0; at < length;) {
            const struct entry *entry = (const struct entry *)(buffer + at);
            at += entry->length;
            pid_t id = IdOf(entry->name);
            if (!id)
                continue;
            if (list->count == list->capacity) {
                size_t capacity = list->capacity ? 2 * list->capacity : 64;
                pid_t *grown = realloc(list->ids, capacity * sizeof *grown);
                if (!grown)
                    return -2;
                list->ids = grown;
                list->capacity = capacity;
            }
            list->ids[list->count++] = id;
        }
        if (last)
            return 0;
    }
}

BOOL directory_alive(int directory)
{
    char buffer[512];
    return lseek(directory, 0, SEEK_SET) == 0 &&
           syscall(SYS_getdents64, directory, buffer, sizeof buffer) >= 0;
}

/* The kernel counts a task directory's links as its threads and two
   (proc_task_getattr, fs/proc/base.c). */
long thread_count(int tasks)
{
    struct stat status;
    return fstat(tasks, &status) == 0 ? (long)status.st_nlink - 2 : -1;
}
