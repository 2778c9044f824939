#pragma once
// One pcre_exec() call run in a child process (ContainedCall), with its
// answer checked: whatever the library does while matching — crash, abort,
// recurse past its stack, never return, report offsets that cannot be — the
// caller gets a result or a reason, never the end of the program.
//
// The child sees the compiled pattern, its tables, the library and the
// subject as the parent had them when the search started; the caller keeps
// them unchanged until the search has ended (or stops it).
//
// A search can also compile its own pattern in the child first: the compile
// is then tried where a crash or a hang cannot reach the caller, and the
// search costs one child instead of a rehearsal's and a search's.

#include "ContainedCall.h"
#include "PcreLibrary.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class PcreSearch
{
public:
    struct Request
    {
        const PcreLibrary *library = nullptr;
        const pcre *code = nullptr;     // null: compile `pattern` in the child
        const pcre_extra *extra = nullptr;
        const char *pattern = nullptr;  // with `compileOptions` and `tables`
        int compileOptions = 0;
        const unsigned char *tables = nullptr;
        const char *subject = nullptr;
        int length = 0;
        int startOffset = 0;
        int options = 0;
        int offsetsSize = 0;    // ints in the offsets vector, a multiple of 3
                                // (a search that compiles sizes its own)
    };

    struct Answer
    {
        enum class Kind {
            Result,       // the engine returned `result`; offsets are checked
            BadAnswer,    // it returned offsets or a count that cannot be
            Stopped,      // Stop() ended it
            Crashed,      // the call ended the child: `problem` says how
            NotSearched,  // the child's compile failed, or its capture count
                          // cannot be: the caller's own compile tells why
        };
        Kind kind = Kind::Result;
        int result = 0;
        std::string problem;
        // What a crash or a stop interrupted (Done: nothing, the child had
        // finished).
        enum class Stage : int { Compiling, Matching, Releasing, Done };
        Stage stage = Stage::Matching;
        std::vector<int> offsets;       // Result: the offsets vector
    };

    // Ints in the offsets vector of a search that compiles its own pattern:
    // room for as many subpatterns as any pattern can have.
    static constexpr int kMostOffsets = (PCRE_MAX_CAPTURES + 1) * 3;

    PcreSearch() = default;
    ~PcreSearch();

    // Starts the call; false (and Finish() tells why) when no child could be
    // made.
    bool Start(const Request &request);

    // Makes the child for a later search that differs from `request` at
    // most in its start offset and options, so that search starts without
    // the cost of a fork (a millisecond or so for a window's process). The
    // caller discards it when the pattern or the subject change.
    void PrepareNext(const Request &request);
    void DiscardPrepared();
    ContainedCall &Call() { return *m_call; }
    void Stop() { m_call->Stop(); }

    // Once the call has ended: what it gave.
    Answer Finish();

    // Start(), wait for the end, Finish().
    static Answer Run(const Request &request);

    // The recursion limit a search runs under: as many engine frames as the
    // child's stack holds. `frameSize` is what the library reports for one,
    // or 0 when it does not say.
    static unsigned long RecursionLimitFor(int frameSize);

private:
    bool EnsureCall(const Request &request);

    Request m_request;
    Request m_prepared;             // what the prepared child was made for
    std::unique_ptr<ContainedCall> m_call;
};

// The ints of the offsets vector a search with `code` needs: a pair and a
// work slot for the whole match and for each capturing subpattern, as many
// as the library says there are. 0 when that count cannot be, with
// `problem` saying what the library answered.
int PcreOffsetsSizeFor(const PcreLibrary &library, const pcre *code, const pcre_extra *extra, std::string *problem);

// Empty when the pairs an engine result sets are inside a subject of
// `length` bytes and in order; otherwise what is wrong with them.
std::string PcreCheckOffsets(int result, const int *offsets, int offsetsSize, int length);
