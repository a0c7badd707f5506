/* The peer of the FastCGI benchmark: the least a libfcgi program can do to
   answer like hwendle.exe in its persistent mode, one redirect per request. */
#include <fcgiapp.h>
#include <stdio.h>

int main(void) {
    FCGX_Request request;
    FCGX_Init();
    FCGX_InitRequest(&request, 0, 0);
    while (FCGX_Accept_r(&request) >= 0) {
        const char *query = FCGX_GetParam("QUERY_STRING", request.envp);
        FCGX_FPrintF(request.out, "Location: https://www.example.com/main/Hwendle.aspx?%s\n\n", query ? query : "");
        FCGX_Finish_r(&request);
    }
    return 0;
}
