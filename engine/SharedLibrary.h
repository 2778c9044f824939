#pragma once
// RAII owner of one dlopen() handle.

#include <memory>
#include <string>

class SharedLibrary
{
public:
    SharedLibrary() = default;

    // dlopen(path, RTLD_NOW | RTLD_LOCAL). An empty path opens nothing: on
    // Linux dlopen("") would return the main program. Nor does an ELF file,
    // named by a path, whose loadable segments run past its end: glibc's
    // loader would die of SIGBUS on it instead of failing.
    static SharedLibrary open(const std::string &path);

    bool isOpen() const { return m_handle != nullptr; }
    explicit operator bool() const { return isOpen(); }

    // Another reference to the same loaded object, which stays mapped while
    // any reference is open; empty when this one holds nothing.
    SharedLibrary retain() const;

    // Address of an exported name, only when the definition lies inside this
    // very file: dlsym() also searches the library's dependencies, which must
    // not count as "this library exports it".
    void *ownSymbol(const char *name) const;

    // Absolute, canonical path of the loaded file; empty when none is open.
    std::string canonicalPath() const;

    void close() { m_handle.reset(); m_path.clear(); }

private:
    struct Closer { void operator()(void *handle) const; };
    std::unique_ptr<void, Closer> m_handle;
    std::string m_path;             // resolved at open(), while the current
                                    // directory is the one the name was given in
};
