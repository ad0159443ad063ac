#include <stdio.h>

#include "corepen.h"
#include "winapi.h"

static int IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
           c == '\r';
}

int32_t ParseProcessorNumber(const char *word)
{
    while (IsSpace(*word))
        word++;
    int negative = *word == '-';
    if (*word == '-' || *word == '+')
        word++;
    uint32_t value = 0;
    for (; *word >= '0' && *word <= '9'; word++)
        value = value * 10u + (uint32_t)(*word - '0');
    if (negative)
        value = 0u - value;
    /* Two's complement read of the low 32 bits, without an out-of-range
       conversion. */
    return value <= INT32_MAX ? (int32_t)value
                              : (int32_t)(value - INT32_MAX - 1) + INT32_MIN;
}

AffinityMask BuildAffinityMask(int argc, char **argv)
{
    DWORD_PTR process_mask = 0;
    DWORD_PTR system_mask = 0;
    GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask);
    AffinityMask available = (AffinityMask)system_mask;

    AffinityMask mask = 0;
    for (int i = 1; i < argc; i++) {
        int32_t number = ParseProcessorNumber(argv[i]);
        AffinityMask bit = (AffinityMask)1 << ((uint32_t)number & 31u);
        if (available & bit)
            mask |= bit;
        else
            printf("Processor ID: %d is not valid, and will be ignored.\n",
                   (int)number);
    }
    return mask;
}
