/*
 * Process helpers of the appliance: start a program connected to a stdio stream, never through a
 * shell.
 */
#ifndef KYTO_BRIX_PROCESS_H
#define KYTO_BRIX_PROCESS_H

#include <stdio.h>

#define BRIX_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Starts a program and returns a stream connected to its standard output (mode "r") or standard
 * input (mode "w"). After the mode come either a program path followed by its arguments, or one
 * command line that is split at blanks, and then a null pointer:
 *   brix_popen("r", "/bin/prog", "-c", "list", (char*)NULL);
 *   brix_popen("r", "/bin/prog -c list", (char*)NULL);
 * Returns null when the mode is not "r" or "w", the argument list is empty, or the program
 * can't be started.
 */
BRIX_API FILE* brix_popen(const char* mode, ...);

/*
 * Closes a stream from brix_popen and reaps its program. Returns the wait status of the program
 * (as waitpid gives it), or -1 when the stream is not one of brix_popen's. A program read from
 * that has not ended 2 seconds after its stream was closed is killed (SIGKILL).
 */
BRIX_API int brix_pclose(FILE* stream);

#ifdef __cplusplus
}
#endif

#endif /* KYTO_BRIX_PROCESS_H */
