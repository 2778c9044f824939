/* A stand-in PCRE library for the tests: it forwards every call to the real
 * libpcre.so.3 (opened on first use), so it behaves like the real engine
 * unless one of these flags changes one thing.
 *
 *   FAKE_OMIT_<NAME>     do not export that one of the seven names (VERSION,
 *                        FULLINFO, COMPILE, EXEC, STUDY, MALLOC, FREE_SUBSTRING)
 *   FAKE_NULL_VERSION    pcre_version() returns NULL
 *   FAKE_FIRSTBYTE_353   pcre_fullinfo() reports 353 for FIRSTBYTE (4) and
 *                        LASTLITERAL (6) where the real one reports a byte value
 *   FAKE_WRONG_OFFSET    pcre_exec() adds 1 to the end offset of pair 0 on success
 */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

typedef struct real_pcre real_pcre;
typedef struct pcre_extra pcre_extra;

static void *real_library;

__attribute__((destructor)) static void fake_unload(void)
{
    if (real_library)
        dlclose(real_library);
}

static void *real_symbol(const char *name)
{
    if (!real_library)
        real_library = dlopen("libpcre.so.3", RTLD_NOW | RTLD_LOCAL);
    void *address = real_library ? dlsym(real_library, name) : NULL;
    if (!address) {
        fprintf(stderr, "fakepcre: no %s in libpcre.so.3 (%s)\n", name, dlerror());
        abort();
    }
    return address;
}

/* Exports `name`, which calls the real one and returns its result, after
 * `adjust` (a statement that may change `result`) has run. */
#define FORWARD(type, name, params, args, adjust)                                   \
    __attribute__((visibility("default"))) type name params                         \
    {                                                                               \
        static type(*real) params;                                                  \
        if (!real)                                                                  \
            real = (type(*) params)real_symbol(#name);                              \
        type result = real args;                                                    \
        adjust;                                                                     \
        return result;                                                              \
    }

#ifndef FAKE_NULL_VERSION
#define FAKE_NULL_VERSION 0
#endif
#ifndef FAKE_FIRSTBYTE_353
#define FAKE_FIRSTBYTE_353 0
#endif
#ifndef FAKE_WRONG_OFFSET
#define FAKE_WRONG_OFFSET 0
#endif

#ifndef FAKE_OMIT_VERSION
FORWARD(const char *, pcre_version, (void), (), if (FAKE_NULL_VERSION) result = NULL)
#endif
#ifndef FAKE_OMIT_FULLINFO
FORWARD(int, pcre_fullinfo, (const real_pcre *code, const pcre_extra *extra, int what, void *where),
        (code, extra, what, where),
        if (FAKE_FIRSTBYTE_353 && result == 0 && (what == 4 || what == 6) && *(int *)where >= 0) *(int *)where = 353)
#endif
#ifndef FAKE_OMIT_COMPILE
FORWARD(real_pcre *, pcre_compile,
        (const char *pattern, int options, const char **errptr, int *erroffset, const unsigned char *tables),
        (pattern, options, errptr, erroffset, tables), )
#endif
#ifndef FAKE_OMIT_EXEC
FORWARD(int, pcre_exec,
        (const real_pcre *code, const pcre_extra *extra, const char *subject, int length, int start, int options,
         int *ovector, int ovecsize),
        (code, extra, subject, length, start, options, ovector, ovecsize),
        if (FAKE_WRONG_OFFSET && result >= 0 && ovecsize >= 2) ovector[1] += 1)
#endif
#ifndef FAKE_OMIT_STUDY
FORWARD(pcre_extra *, pcre_study, (const real_pcre *code, int options, const char **errptr), (code, options, errptr), )
#endif
#ifndef FAKE_OMIT_MALLOC
/* A variable, as in the real library; the binding only looks it up. */
__attribute__((visibility("default"))) void *(*pcre_malloc)(size_t) = malloc;
#endif
#ifndef FAKE_OMIT_FREE_SUBSTRING
__attribute__((visibility("default"))) void pcre_free_substring(const char *pointer)
{
    ((void (*)(const char *))real_symbol("pcre_free_substring"))(pointer);
}
#endif
