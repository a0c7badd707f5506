/* Starts a program COUNT times one after the other, as a web server's CGI
   module would, and waits for each: standard input and output on /dev/null,
   the environment of this process. Used by the process benchmarks so that
   the program and its peer pay the same, small, cost of the launcher (no
   shell between them). Exits 1 when a start fails or a run exits other
   than 0, so that a failing program cannot pass for a fast one.
     spawn_batch COUNT PROGRAM [ARG...] */
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: spawn_batch COUNT PROGRAM [ARG...]\n");
        return 2;
    }
    const long count = strtol(argv[1], NULL, 10);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (long i = 0; i < count; ++i) {
        pid_t pid;
        int status;
        if (posix_spawn(&pid, argv[2], &actions, NULL, argv + 2, environ) != 0) {
            perror(argv[2]);
            return 1;
        }
        if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            fprintf(stderr, "%s: run %ld did not exit with 0\n", argv[2], i + 1);
            return 1;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return 0;
}
