/* A stand-in PCRE library for the tests: it forwards every call to the real
 * libpcre.so.3 (opened on first use), so it behaves like the real engine
 * unless one of the flags below changes one thing.
 *
 *   FAKE_OMIT_<NAME>     do not export that one of the seven names
 *                        (VERSION, FULLINFO, COMPILE, EXEC, STUDY, MALLOC,
 *                        FREE_SUBSTRING)
 *   FAKE_NULL_VERSION    pcre_version() returns NULL
 *   FAKE_FIRSTBYTE_353   pcre_fullinfo() reports 353 for PCRE_INFO_FIRSTBYTE
 *                        and PCRE_INFO_LASTLITERAL where the real library
 *                        reports a byte value
 *   FAKE_WRONG_OFFSET    pcre_exec() adds 1 to the end offset of pair 0 on
 *                        success
 */
#include <dlfcn.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

#define FAKE_EXPORT __attribute__((visibility("default")))

#define FAKE_INFO_FIRSTBYTE 4
#define FAKE_INFO_LASTLITERAL 6

typedef struct real_pcre real_pcre;
typedef struct pcre_extra pcre_extra;

static void *real_library;

static void *real_symbol(const char *name)
{
    if (!real_library) {
        real_library = dlopen("libpcre.so.3", RTLD_NOW | RTLD_LOCAL);
        if (!real_library) {
            fprintf(stderr, "fakepcre: cannot open libpcre.so.3: %s\n", dlerror());
            abort();
        }
    }
    void *address = dlsym(real_library, name);
    if (!address) {
        fprintf(stderr, "fakepcre: libpcre.so.3 lacks %s\n", name);
        abort();
    }
    return address;
}

/* The real function `name`, looked up on first use; `name##_fn` is its type. */
#define REAL(name) \
    static name##_fn real_##name; \
    if (!real_##name) \
        real_##name = (name##_fn)real_symbol(#name)

typedef const char *(*pcre_version_fn)(void);
typedef int (*pcre_fullinfo_fn)(const real_pcre *, const pcre_extra *, int, void *);
typedef real_pcre *(*pcre_compile_fn)(const char *, int, const char **, int *,
                                      const unsigned char *);
typedef int (*pcre_exec_fn)(const real_pcre *, const pcre_extra *, const char *, int, int, int,
                            int *, int);
typedef pcre_extra *(*pcre_study_fn)(const real_pcre *, int, const char **);
typedef void (*pcre_free_substring_fn)(const char *);

__attribute__((destructor)) static void fake_unload(void)
{
    if (real_library) {
        dlclose(real_library);
        real_library = NULL;
    }
}

#ifndef FAKE_OMIT_VERSION
FAKE_EXPORT const char *pcre_version(void)
{
#ifdef FAKE_NULL_VERSION
    return NULL;
#else
    REAL(pcre_version);
    return real_pcre_version();
#endif
}
#endif

#ifndef FAKE_OMIT_FULLINFO
FAKE_EXPORT int pcre_fullinfo(const real_pcre *code, const pcre_extra *extra, int what, void *where)
{
    REAL(pcre_fullinfo);
    int result = real_pcre_fullinfo(code, extra, what, where);
#ifdef FAKE_FIRSTBYTE_353
    if (result == 0 && where && (what == FAKE_INFO_FIRSTBYTE || what == FAKE_INFO_LASTLITERAL)
        && *(int *)where >= 0)
        *(int *)where = 353;
#endif
    return result;
}
#endif

#ifndef FAKE_OMIT_COMPILE
FAKE_EXPORT real_pcre *pcre_compile(const char *pattern, int options, const char **errptr,
                                    int *erroffset, const unsigned char *tables)
{
    REAL(pcre_compile);
    return real_pcre_compile(pattern, options, errptr, erroffset, tables);
}
#endif

#ifndef FAKE_OMIT_EXEC
FAKE_EXPORT int pcre_exec(const real_pcre *code, const pcre_extra *extra, const char *subject,
                          int length, int startoffset, int options, int *ovector, int ovecsize)
{
    REAL(pcre_exec);
    int result = real_pcre_exec(code, extra, subject, length, startoffset, options, ovector,
                                ovecsize);
#ifdef FAKE_WRONG_OFFSET
    if (result >= 0 && ovector && ovecsize >= 2)
        ovector[1] += 1;
#endif
    return result;
}
#endif

#ifndef FAKE_OMIT_STUDY
FAKE_EXPORT pcre_extra *pcre_study(const real_pcre *code, int options, const char **errptr)
{
    REAL(pcre_study);
    return real_pcre_study(code, options, errptr);
}
#endif

#ifndef FAKE_OMIT_MALLOC
/* A variable, as in the real library; the binding only looks it up. */
FAKE_EXPORT void *(*pcre_malloc)(size_t) = malloc;
#endif

#ifndef FAKE_OMIT_FREE_SUBSTRING
FAKE_EXPORT void pcre_free_substring(const char *pointer)
{
    REAL(pcre_free_substring);
    real_pcre_free_substring(pointer);
}
#endif
