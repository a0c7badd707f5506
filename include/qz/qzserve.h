/* Serving requests. A program on the runtime answers one request per process
 * when a web server starts it as a CGI program, and many requests in one
 * process when it is started as a FastCGI application (its standard input is
 * a listening socket, or the command line says "--fastcgi SOCKET"). The
 * program's own run of one request is the callback; everything a request sets
 * up it tears down before the next one starts. */
#ifndef QZ_QZSERVE_H
#define QZ_QZSERVE_H

#include "qzdefs.h"

QZ_BEGIN_DECLS

/* One request, from reading it to the end of the response; returns the exit
   code a CGI run would end with. argv holds the program's own arguments (a
   "--fastcgi SOCKET" pair is taken out before). */
typedef int (*QZ_RequestRun)(int argc, char **argv);

/* The program's entry point: under CGI runs the request once and returns its
   exit code; as a FastCGI application serves requests until it is told to
   stop (SIGTERM, the configured request count) and returns the exit code of
   the process. */
QZ_EXPORT int QZ_Serve(int argc, char **argv, QZ_RequestRun run);

/* Registers a reset of module state that lives from one request to the end
   of it (generated modules' own globals); every reset runs after each request,
   the last registered first. Registering the same function again does nothing. */
QZ_EXPORT void QZ_AtRequestEnd(void (*reset)(void));

/* 1 while the process serves many requests (FastCGI), 0 under CGI. */
QZ_EXPORT int16_t QZ_ServePersistent(void);

QZ_END_DECLS

#endif
