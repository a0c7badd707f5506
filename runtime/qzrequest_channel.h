/* The channel of the request being served: its environment, its body and its
 * output. Under CGI these are the process's own (the environment, standard
 * input and standard output); in the persistent (FastCGI) mode the serving
 * loop points them at the request it accepted. Every module that reads the
 * request or writes the response goes through these calls, so that one code
 * path serves both modes and no request ever changes the process environment.
 *
 * Internal to the runtime and the program driver; not installed. */
#ifndef QZ_RUNTIME_QZREQUEST_CHANNEL_H
#define QZ_RUNTIME_QZREQUEST_CHANNEL_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The value of one variable of the request's environment; NULL when absent. */
const char *qz_RequestEnv(const char *name);
/* The request's environment as "NAME=value" entries, ended by NULL. */
char *const *qz_RequestEnviron(void);
/* The request body (standard input under CGI). */
FILE *qz_RequestIn(void);
/* The response (standard output under CGI). */
FILE *qz_RequestOut(void);

/* The serving loop only: points the channel at one request (NULL members
   stand for the process's own), and back at the process. */
void qz_RequestChannel_Attach(char *const *envp, FILE *in, FILE *out);
void qz_RequestChannel_Detach(void);

#ifdef __cplusplus
}
#endif

#endif
