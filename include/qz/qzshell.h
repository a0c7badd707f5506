/* Running an operating-system command from generated code.

   The command line is split into the program and its parameters with the
   runtime's own quoting rules; the program is looked up in the directories
   of PATH (unless its name holds a "/") and started as a new process. */
#ifndef QZ_QZSHELL_H
#define QZ_QZSHELL_H

#include "qzdefs.h"

QZ_BEGIN_DECLS

/* Longest token (program or parameter); longer ones are cut. */
#define QZ_SHELL_TOKEN_MAX 1025

/* Mode: wait until the started program ends; any other value returns as
   soon as the program has been started. */
#define QZ_SHELL_WAIT 1

/* Results. */
#define QZ_SHELL_STARTED 0
#define QZ_SHELL_FAILED 1

/* Runs the command line: 0 when the program was started (or the line holds
   only white space), 1 when it could not be started (the reason goes to the
   trace as "EXC0001: ..."). The started program's exit code is not reported. */
QZ_EXPORT int16_t QZ_ShellExecute(const char *commandLine, uint16_t mode);
/* As QZ_ShellExecute; the third argument is not used. */
QZ_EXPORT int16_t QZ_Shell(const char *commandLine, uint16_t mode, const void *unused);
/* Starts the program path with the argument vector (entry 0 the program's
   file name, ended by a NULL entry); waits when mode is 1. Parameters keep
   the quotes of the command line; they are removed here the way the started
   program's own command-line parsing would on a platform that joins the
   vector into one line (see docs/dates.md). 0 started, 1 failed. */
QZ_EXPORT int16_t QZ_ShellSpawn(const char *programPath, char *const argv[], uint16_t mode);

/* Waits, without blocking, for the children that runs in a mode other than 1
   started and that have ended since, so that none stays a zombie; children
   still running stay recorded. Only those children are waited for. Every shell
   run and the end of every program context call it; a persistent program may
   call it between requests as well. */
QZ_EXPORT void qz_Shell_ReapChildren(void);

/* Token readers: copy one token of the text into output (at most maximum
   characters, then a zero: output needs maximum + 1 bytes) and return the
   position after it, or NULL when only white space is left.
   QZ_ShellFirstToken reads the program (its quotes removed);
   QZ_ShellNextToken reads a parameter (a quoted one keeps its quotes and
   escapes as written). A token longer than maximum is cut and its rest skipped. */
QZ_EXPORT const char *QZ_ShellFirstToken(const char *text, char *output, size_t maximum);
QZ_EXPORT const char *QZ_ShellNextToken(const char *text, char *output, size_t maximum);

QZ_END_DECLS

#endif
