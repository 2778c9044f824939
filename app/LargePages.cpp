#include "LargePages.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

void RestartWithLargePagesForLargeBuffers(char **argv)
{
    static const char kSetting[] = "glibc.malloc.hugetlb=1";
    const char *tunables = std::getenv("GLIBC_TUNABLES");
    // Already set, by us or by the user (who may have chosen otherwise).
    if (tunables && std::strstr(tunables, "glibc.malloc.hugetlb="))
        return;
    const std::string value = tunables && *tunables ? std::string(tunables) + ':' + kSetting : kSetting;
    if (setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0)
        return;
    execv("/proc/self/exe", argv);
    // The restart failed: run on with the pages the system gives.
}
