#include "objects.h"

void *object_of(HANDLE handle, enum object_kind kind)
{
    struct object *object = handle;
    if (!handle || handle == INVALID_HANDLE_VALUE || object->kind != kind)
        return NULL;
    return object;
}

BOOL WINAPI CloseHandle(HANDLE handle)
{
    if (handle == GetCurrentProcess())
        return TRUE;
    struct object *object;
    if ((object = object_of(handle, OBJECT_SNAPSHOT)))
        snapshot_close(object);
    else if ((object = object_of(handle, OBJECT_PROCESS)))
        process_release(object);
    else
        return FALSE;
    return TRUE;
}
