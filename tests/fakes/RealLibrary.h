/* For the fake libraries: the real libpcre.so.3, opened on first use and
 * closed when the fake is unloaded, and its entry points by name. A name it
 * lacks ends the process: a fake that cannot forward has nothing to test. */
#ifndef PC_FAKES_REAL_LIBRARY_H
#define PC_FAKES_REAL_LIBRARY_H

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

static void *real_library;

__attribute__((destructor)) static void close_real_library(void)
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
        fprintf(stderr, "fake PCRE library: no %s in libpcre.so.3 (%s)\n", name, dlerror());
        abort();
    }
    return address;
}

#endif
