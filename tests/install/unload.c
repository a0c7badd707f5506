/* Loads the shared runtime with dlopen, makes it do some work, closes it and checks that it
   is gone from the process: a library that exports unique objects (or otherwise pins itself)
   stays mapped after dlclose, which a program that loads generated modules on demand would
   pay for with every module it ever loaded. Two cycles, so that loading again works too.
     unload <path of libqzrt.so> */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <link.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <qz/qz.h>

static int mapped;

static int find_runtime(struct dl_phdr_info *info, size_t size, void *data)
{
    (void)size;
    (void)data;
    if (info->dlpi_name != NULL && strstr(info->dlpi_name, "libqzrt.so") != NULL)
        mapped = 1;
    return 0;
}

static int runtime_mapped(void)
{
    mapped = 0;
    dl_iterate_phdr(find_runtime, NULL);
    return mapped;
}

/* The library's own code paths, each one a symbol looked up by name. */
static int exercise(void *lib)
{
    QZ_XmlWriter *(*create)(void) = (QZ_XmlWriter * (*)(void)) dlsym(lib, "QZ_xmlwritercreate");
    int16_t (*open_string)(QZ_XmlWriter *) = (int16_t(*)(QZ_XmlWriter *))dlsym(lib, "QZ_xmlOpenToString");
    int16_t (*value_int)(QZ_XmlWriter *, const char *, int32_t) =
        (int16_t(*)(QZ_XmlWriter *, const char *, int32_t))dlsym(lib, "QZ_xmlvalueint");
    int16_t (*end)(QZ_XmlWriter *) = (int16_t(*)(QZ_XmlWriter *))dlsym(lib, "QZ_xmlend");
    char *(*result)(QZ_XmlWriter *, char *, int32_t) =
        (char *(*)(QZ_XmlWriter *, char *, int32_t))dlsym(lib, "QZ_xmlgetResultingString");
    int16_t (*destroy)(QZ_XmlWriter *) = (int16_t(*)(QZ_XmlWriter *))dlsym(lib, "QZ_xmlwriterdestroy");
    if (!create || !open_string || !value_int || !end || !result || !destroy) {
        fprintf(stderr, "unload: a writer operation is missing: %s\n", dlerror());
        return 0;
    }
    QZ_XmlWriter *w = create();
    char text[64] = "";
    int ok = w != NULL && open_string(w) == 0 && value_int(w, "n", 42) == 0 && end(w) == 0;
    if (w != NULL) {
        result(w, text, (int32_t)sizeof text - 1);
        destroy(w);
    }
    if (!ok || strcmp(text, "<n>42</n>\n") != 0) {
        fprintf(stderr, "unload: unexpected writer output \"%s\"\n", text);
        return 0;
    }
    return 1;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: unload <libqzrt.so>\n");
        return 2;
    }
    if (runtime_mapped()) {
        fprintf(stderr, "unload: the runtime is loaded before dlopen\n");
        return 1;
    }
    for (int cycle = 1; cycle <= 2; ++cycle) {
        void *lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
        if (lib == NULL) {
            fprintf(stderr, "unload: %s\n", dlerror());
            return 1;
        }
        if (!exercise(lib)) return 1;
        if (dlclose(lib) != 0) {
            fprintf(stderr, "unload: dlclose: %s\n", dlerror());
            return 1;
        }
        if (runtime_mapped()) {
            fprintf(stderr, "unload: the runtime is still loaded after dlclose (cycle %d)\n", cycle);
            return 1;
        }
    }
    printf("unload: the runtime loads and unloads\n");
    return 0;
}
