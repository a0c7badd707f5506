/* hello.exe: a first CGI program of one's own on the qzrt runtime.
   It reads the form variable "name" of a POST, answers with a small XML
   document written by the runtime's XML writer, and traces one line.

     cc -o hello.exe hello.c $(pkg-config --cflags --libs qzrt)

   Started by a web server per request (CGI), or as a FastCGI application:
   QZ_Serve decides, and calls run() once per request either way. */
#include <qz/qz.h>

static int run(int argc, char **argv)
{
    QZ_PgmContext *ctx;
    QZ_XmlWriter *xml;
    const char *name;
    (void)argc;
    (void)argv;

    /* Everything the runtime allocates for this request comes from the default
       pool; deleting it at the end releases the whole request at once. */
    QZ_GetDefaultPool();
    ctx = QZ_PgmContext_New();
    if (ctx == NULL) return 1;
    QZ_PgmContext_Init(ctx); /* also creates the context's XML writer */
    QZ_HTTP_Response_Init(&ctx->response, "text/html");
    QZ_HTTP_Response_SetCtrlBlock(&ctx->response, NULL); /* the answer goes to the web server */
    QZ_HTTP_SrvReq_Init(&ctx->request);
    QZ_HTTP_SrvReq_Read(&ctx->request, 0); /* CGI variables, cookies, the form body of a POST */

    /* An absent variable reads as the empty string, never NULL. */
    name = QZ_HTTP_SrvReq_GetVariable(&ctx->request, "name");
    if (name[0] == '\0') name = "world";
    /* Written when [Trace] Trace=1 in qzcfg.ini; level 0 is the most important. */
    QZ_Trace(0, "hello: greeting %s", name);

    /* text/xml, the headers, then the document on the response. */
    xml = ctx->xmlWriter;
    QZ_HTTP_ResponseStartXML(xml, ctx->responseHandle);
    QZ_xmlstartdocument(xml, "UTF-8", 1);
    QZ_xmlbeginelement(xml, "greeting");
    QZ_xmlattstr(xml, "lang", "en");
    QZ_xmlvaluestr(xml, "to", name);
    QZ_xmlendelement(xml);
    QZ_xmlend(xml);

    QZ_HTTP_Response_End(&ctx->response);
    QZ_HTTP_SrvReq_Free(&ctx->request);
    QZ_PgmContext_Free(ctx);
    QZ_PgmContext_Delete();
    QZ_MemPool_delete(QZ_GetDefaultPool());
    QZ_SetDefaultPool(NULL);
    return 0;
}

int main(int argc, char **argv) { return QZ_Serve(argc, argv, run); }
