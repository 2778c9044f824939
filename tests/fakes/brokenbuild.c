/* A broken build of PCRE for the build checker's tests: the whole 8-bit
 * interface the checker uses, forwarded to the real libpcre.so.3, with one
 * fault chosen by a flag:
 *
 *   BROKEN_OFFSETS   pcre_exec() and pcre_dfa_exec() report the end of
 *                    every match one byte too far
 *   BROKEN_NOUTF     pcre_compile() refuses UTF-8 patterns, although
 *                    pcre_config() says UTF-8 is supported
 *   BROKEN_CRASH     pcre_exec() dies of SIGSEGV on a subject with "fox"
 *   BROKEN_HANG      pcre_exec() never returns on "Thequickbrownfox"
 *
 * The library's hooks are variables; the checker sets this file's own, and
 * they are handed on to the real library before each call that may use
 * them. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

typedef struct real_pcre pcre;
typedef struct pcre_extra pcre_extra;
typedef struct pcre_jit_stack pcre_jit_stack;
typedef int (*callout_fn)(void *);
typedef int (*guard_fn)(void);

EXPORT void *(*pcre_malloc)(size_t) = malloc;
EXPORT void (*pcre_free)(void *) = free;
EXPORT callout_fn pcre_callout;
EXPORT guard_fn pcre_stack_guard;

#include "RealLibrary.h"

static void hand_on_hooks(void)
{
    static callout_fn *real_callout;
    static guard_fn *real_guard;
    if (!real_callout) {
        real_callout = real_symbol("pcre_callout");
        real_guard = real_symbol("pcre_stack_guard");
    }
    *real_callout = pcre_callout;
    *real_guard = pcre_stack_guard;
}

/* Exports `name`, which hands the hooks on, runs `before` (a statement that
 * may return early), calls the real one, and runs `after` (which may change
 * `result`). */
#define FORWARD(type, name, params, args, before, after)                 \
    EXPORT type name params                                              \
    {                                                                    \
        static type(*real) params;                                       \
        if (!real)                                                       \
            real = (type(*) params)real_symbol(#name);                   \
        hand_on_hooks();                                                 \
        before;                                                          \
        type result = real args;                                         \
        after;                                                           \
        return result;                                                   \
    }
#define PASS(type, name, params, args) FORWARD(type, name, params, args, , )

static inline int has(const char *subject, int length, const char *text)
{
    return subject && length > 0 && memmem(subject, (size_t)length, text, strlen(text));
}

static void break_offsets(int result, int *ovector, int size)
{
#ifdef BROKEN_OFFSETS
    if (result >= 0 && ovector && size >= 2)
        ovector[1] += 1;
#endif
    (void)result, (void)ovector, (void)size;
}

static void break_subject(const char *subject, int length)
{
#ifdef BROKEN_CRASH
    if (has(subject, length, "fox"))
        raise(SIGSEGV);
#endif
#ifdef BROKEN_HANG
    for (volatile int spinning = has(subject, length, "Thequickbrownfox"); spinning;) {
    }
#endif
    (void)subject, (void)length;
}

static int refuses_utf(const char *pattern, int options)
{
#ifdef BROKEN_NOUTF
    return (options & 0x0800) || strncmp(pattern, "(*UTF", 5) == 0;
#else
    (void)pattern, (void)options;
    return 0;
#endif
}

FORWARD(pcre *, pcre_compile,
        (const char *pattern, int options, const char **error, int *offset, const unsigned char *tables),
        (pattern, options, error, offset, tables),
        if (refuses_utf(pattern, options)) {
            *error = "this version of PCRE is not compiled with PCRE_UTF8 support";
            *offset = 0;
            return NULL;
        }, )
FORWARD(int, pcre_exec,
        (const pcre *code, const pcre_extra *extra, const char *subject, int length, int start, int options,
         int *ovector, int size),
        (code, extra, subject, length, start, options, ovector, size), break_subject(subject, length),
        break_offsets(result, ovector, size))
FORWARD(int, pcre_dfa_exec,
        (const pcre *code, const pcre_extra *extra, const char *subject, int length, int start, int options,
         int *ovector, int size, int *workspace, int workspace_size),
        (code, extra, subject, length, start, options, ovector, size, workspace, workspace_size), ,
        break_offsets(result, ovector, size))
PASS(const char *, pcre_version, (void), ())
PASS(int, pcre_config, (int what, void *where), (what, where))
PASS(int, pcre_fullinfo, (const pcre *code, const pcre_extra *extra, int what, void *where),
     (code, extra, what, where))
PASS(pcre_extra *, pcre_study, (const pcre *code, int options, const char **error), (code, options, error))
PASS(const unsigned char *, pcre_maketables, (void), ())
PASS(pcre_jit_stack *, pcre_jit_stack_alloc, (int start, int most), (start, most))
PASS(int, pcre_get_stringnumber, (const pcre *code, const char *name), (code, name))
PASS(int, pcre_copy_substring, (const char *subject, int *ovector, int count, int number, char *buffer, int size),
     (subject, ovector, count, number, buffer, size))
PASS(int, pcre_copy_named_substring,
     (const pcre *code, const char *subject, int *ovector, int count, const char *name, char *buffer, int size),
     (code, subject, ovector, count, name, buffer, size))
PASS(int, pcre_get_substring, (const char *subject, int *ovector, int count, int number, const char **text),
     (subject, ovector, count, number, text))
PASS(int, pcre_get_named_substring,
     (const pcre *code, const char *subject, int *ovector, int count, const char *name, const char **text),
     (code, subject, ovector, count, name, text))
PASS(int, pcre_get_substring_list, (const char *subject, int *ovector, int count, const char ***list),
     (subject, ovector, count, list))
PASS(int, pcre_pattern_to_host_byte_order, (pcre * code, pcre_extra *extra, const unsigned char *tables),
     (code, extra, tables))

#define FORWARD_VOID(name, params, args)                                 \
    EXPORT void name params                                              \
    {                                                                    \
        static void(*real) params;                                       \
        if (!real)                                                       \
            real = (void(*) params)real_symbol(#name);                   \
        real args;                                                       \
    }

FORWARD_VOID(pcre_free_substring, (const char *text), (text))
FORWARD_VOID(pcre_free_substring_list, (const char **list), (list))
FORWARD_VOID(pcre_free_study, (pcre_extra * extra), (extra))
FORWARD_VOID(pcre_jit_stack_free, (pcre_jit_stack * stack), (stack))
FORWARD_VOID(pcre_assign_jit_stack, (pcre_extra * extra, pcre_jit_stack *(*callback)(void *), void *data),
             (extra, callback, data))
