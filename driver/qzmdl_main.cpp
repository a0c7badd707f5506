// hwendle.exe: started by the web server once per request (CGI), or once for
// many requests as a FastCGI application; each request is one run.
#include "driver/qzmdl.h"
#include "qz/qzserve.h"

int main(int argc, char **argv) { return QZ_Serve(argc, argv, QZ_RunProgram); }
