/* A generated-style C program that calls expat's XML_ functions itself, beside the runtime:
   it writes a small document with the runtime's writer and parses it back with expat. */
#include <expat.h>
#include <qz/qz.h>
#include <stdio.h>
#include <string.h>

static int elements;

static void XMLCALL on_start(void *data, const XML_Char *name, const XML_Char **atts)
{
    (void)data;
    (void)name;
    (void)atts;
    ++elements;
}

static void XMLCALL on_end(void *data, const XML_Char *name)
{
    (void)data;
    (void)name;
}

int main(void)
{
    QZ_XmlWriter *w = QZ_xmlwritercreate();
    if (w == NULL || QZ_xmlOpenToString(w) != 0) return 1;
    QZ_xmlbeginelement(w, "order");
    QZ_xmlattint(w, "id", 7);
    QZ_xmlvaluestr(w, "item", "a<b");
    QZ_xmlendelement(w);
    QZ_xmlend(w);
    uint32_t count = 0;
    const char *text = QZ_xmlgetInternalResultingString(w, &count);
    const int written = text != NULL && strcmp(text, "<order id=\"7\">\n\t<item>a&lt;b</item>\n</order>\n") == 0;

    XML_Parser parser = XML_ParserCreate(NULL);
    XML_SetElementHandler(parser, on_start, on_end);
    const int parsed = written && XML_Parse(parser, text, (int)strlen(text), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    QZ_xmlwriterdestroy(w);
    if (!parsed || elements != 2) {
        fprintf(stderr, "prog_expat: written %d, parsed %d, %d elements\n", written, parsed, elements);
        return 1;
    }
    printf("runtime and expat work side by side\n");
    return 0;
}
