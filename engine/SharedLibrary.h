#pragma once
// RAII owner of one dlopen() handle that keeps the reason a load failed.

#include <string>

class SharedLibrary
{
public:
    SharedLibrary() = default;
    SharedLibrary(SharedLibrary &&other) noexcept;
    SharedLibrary &operator=(SharedLibrary &&other) noexcept;
    SharedLibrary(const SharedLibrary &) = delete;
    SharedLibrary &operator=(const SharedLibrary &) = delete;
    ~SharedLibrary() { close(); }

    // dlopen(path, RTLD_NOW | RTLD_LOCAL). An empty path opens nothing: on
    // Linux dlopen("") would return the main program. Nor does an ELF file,
    // named by a path, whose loadable segments run past its end: glibc's
    // loader would die of SIGBUS on it instead of failing. On failure
    // `reason` (when given) says why, in the loader's words where it has
    // them, naming the file as the caller did.
    static SharedLibrary open(const std::string &path, std::string *reason = nullptr);

    bool isOpen() const { return m_handle != nullptr; }
    explicit operator bool() const { return isOpen(); }

    // Address of an exported name, only when the definition lies inside this
    // very file: dlsym() also searches the library's dependencies, which must
    // not count as "this library exports it". On failure `reason` says
    // whether the name is missing or defined elsewhere.
    void *ownSymbol(const char *name, std::string *reason = nullptr) const;

    // Absolute, canonical path of the loaded file; empty when none is open.
    std::string canonicalPath() const;

    void close();

private:
    void *m_handle = nullptr;
    std::string m_path;             // resolved at open(), while the current
                                    // directory is the one the name was given in
    std::string m_loaderName;       // the name the loader recorded
    int m_snapshot = -1;            // the in-memory copy it was loaded from
};
