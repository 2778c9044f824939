#pragma once
// Reading memory that a library handed back without trusting it: an address
// that is not mapped, or a text without its terminating NUL, ends the read
// instead of the program.

#include <cstddef>
#include <string>

// Copies up to `length` bytes from `address`; stops at the first byte that
// cannot be read. Returns the number of bytes copied.
std::size_t SafeRead(const void *address, void *buffer, std::size_t length);

// The NUL-terminated text at `address`, cut after `maxLength` bytes or at the
// first byte that cannot be read; empty for null.
std::string SafeReadString(const char *address, std::size_t maxLength);
