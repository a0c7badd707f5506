// hwendle.exe: started by the web server once per request (CGI).
#include "driver/qzmdl.h"

int main(int argc, char **argv) { return QZ_RunProgram(argc, argv); }
