#define _GNU_SOURCE
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
 *   FAKE_VERSION_TEXT    pcre_version() returns this text instead
 *   FAKE_UNTERMINATED_VERSION  pcre_version() returns text that runs, without
 *                        a NUL, into an unmapped page
 *   FAKE_CAPTURE_COUNT   pcre_fullinfo() reports this many capturing subpatterns
 *   FAKE_NAME_COUNT      pcre_fullinfo() reports this many named subpatterns
 *   FAKE_EXEC_FAULT      pcre_exec() misbehaves on a subject holding "fox":
 *                        1 SIGSEGV, 2 abort(), 3 never returns, 4 a negative
 *                        offset, 5 a subpattern that ends before it starts,
 *                        6 an end past the subject, 7 more pairs than the
 *                        vector holds; 8 SIGSEGV on the frame-size query
 *                        (length -999), whatever the subject
 *   FAKE_COMPILE_FAULT   pcre_compile() misbehaves on a pattern holding "boom":
 *                        1 SIGSEGV, 2 never returns
 *   FAKE_CONSTRUCTOR_EXIT  loading the library ends the process (exit(3))
 */
#include <dlfcn.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

typedef struct real_pcre real_pcre;
typedef struct pcre_extra pcre_extra;

#include "RealLibrary.h"

#ifdef FAKE_CONSTRUCTOR_EXIT
__attribute__((constructor)) static void fake_load(void)
{
    exit(3);
}
#endif

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

#ifndef FAKE_EXEC_FAULT
#define FAKE_EXEC_FAULT 0
#endif

__attribute__((unused)) static const char *adjust_version(const char *version)
{
#ifdef FAKE_VERSION_TEXT
    version = FAKE_VERSION_TEXT;
#endif
#ifdef FAKE_UNTERMINATED_VERSION
    long page = sysconf(_SC_PAGESIZE);
    char *pages = mmap(NULL, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    memset(pages, 'x', page);
    mprotect(pages + page, page, PROT_NONE);
    version = pages + page - 300;
#endif
    return FAKE_NULL_VERSION ? NULL : version;
}

__attribute__((unused)) static void adjust_fullinfo(int what, void *where)
{
    if (FAKE_FIRSTBYTE_353 && (what == 4 || what == 6) && *(int *)where >= 0)
        *(int *)where = 353;
#ifdef FAKE_CAPTURE_COUNT
    if (what == 2)
        *(int *)where = FAKE_CAPTURE_COUNT;
#endif
#ifdef FAKE_NAME_COUNT
    if (what == 8)
        *(int *)where = FAKE_NAME_COUNT;
    if (what == 7)
        *(int *)where = 16;
#endif
}

__attribute__((unused)) static int adjust_exec(int result, const char *subject, int length, int *ovector, int ovecsize)
{
    if (FAKE_WRONG_OFFSET && result >= 0 && ovecsize >= 2)
        ovector[1] += 1;
    if (FAKE_EXEC_FAULT == 8 && length == -999)
        raise(SIGSEGV);
    if (!FAKE_EXEC_FAULT || !subject || length < 0 || !memmem(subject, (size_t)length, "fox", 3))
        return result;
    switch (FAKE_EXEC_FAULT) {
    case 1: raise(SIGSEGV); break;
    case 2: abort();
    case 3: for (volatile int spinning = 1; spinning;) {} break;
    case 4: ovector[0] = -7; ovector[1] = 2; return 1;
    case 5: ovector[0] = 0; ovector[1] = 3; ovector[2] = 3; ovector[3] = 1; return 2;
    case 6: ovector[0] = 0; ovector[1] = length + 5; return 1;
    case 7: return ovecsize / 3 + 1;
    }
    return result;
}

#ifndef FAKE_OMIT_VERSION
FORWARD(const char *, pcre_version, (void), (), result = adjust_version(result))
#endif
#ifndef FAKE_OMIT_FULLINFO
FORWARD(int, pcre_fullinfo, (const real_pcre *code, const pcre_extra *extra, int what, void *where),
        (code, extra, what, where), if (result == 0) adjust_fullinfo(what, where))
#endif
#ifndef FAKE_OMIT_COMPILE
#ifdef FAKE_COMPILE_FAULT
#define COMPILE_FAULT                                                                                                  \
    if (strstr(pattern, "boom")) {                                                                                     \
        if (FAKE_COMPILE_FAULT == 1)                                                                                   \
            raise(SIGSEGV);                                                                                            \
        for (volatile int spinning = 1; spinning;) {                                                                   \
        }                                                                                                              \
    }
#else
#define COMPILE_FAULT
#endif
FORWARD(real_pcre *, pcre_compile,
        (const char *pattern, int options, const char **errptr, int *erroffset, const unsigned char *tables),
        (pattern, options, errptr, erroffset, tables), COMPILE_FAULT)
#endif
#ifndef FAKE_OMIT_EXEC
FORWARD(int, pcre_exec,
        (const real_pcre *code, const pcre_extra *extra, const char *subject, int length, int start, int options,
         int *ovector, int ovecsize),
        (code, extra, subject, length, start, options, ovector, ovecsize),
        result = adjust_exec(result, subject, length, ovector, ovecsize))
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
