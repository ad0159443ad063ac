#ifndef COREPEN_TOOL_COREPEN_H
#define COREPEN_TOOL_COREPEN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Bit n set: processor n may be used. */
typedef uint32_t AffinityMask;

/* The whole run for a command line: 1 when refused (usage text, or the
   95/98/Me family), 0 once the pass has run. */
int RunCorepen(int argc, char **argv);

/* A word as a processor number: optional white space and sign, then the
   leading decimal digits, accumulated modulo 2^32; no digits reads as 0. */
int32_t ParseProcessorNumber(const char *word);

/* The mask of the numbers in argv[1..argc-1] that name processors the
   machine has; prints a warning for each other number, in order. */
AffinityMask BuildAffinityMask(int argc, char **argv);

/* Sets the mask on every process that can be opened, once per thread
   entry of a system-wide thread snapshot. Silent; failures are skipped. */
void ApplyAffinityToAllProcesses(AffinityMask mask);

#ifdef __cplusplus
}
#endif

#endif
