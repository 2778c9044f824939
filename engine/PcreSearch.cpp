#include "PcreSearch.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <vector>

namespace {

// How far the child got, for a crash to be told as what it interrupted.
using Stage = PcreSearch::Answer::Stage;

// The shared block: where to start, set by the parent at the latest moment,
// and what the child hands back.
struct SharedAnswer
{
    int startOffset;
    int options;
    Stage stage;
    int offsetsSize;    // of the vector the child searched with
    int result;
    int offsets[1];     // offsetsSize ints
};

std::size_t SharedSizeFor(int offsetsSize)
{
    return offsetof(SharedAnswer, offsets) + sizeof(int) * std::size_t(std::max(offsetsSize, 1));
}

// A library that does not say how large its frames are is taken to use the
// largest PCRE 8.x frame seen in practice (debug builds), so its limit errs
// on the safe side; one that claims less than the smallest real frame is not
// believed either.
constexpr int kAssumedFrameSize = 2048;
constexpr int kSmallestFrameSize = 256;

// PCRE 8.30 and later answer this special call with the negative size of one
// frame of their recursive matcher; earlier ones refuse the null pattern.
int EngineFrameSize(const PcreEntryPoints &api)
{
    const int answer = api.pcre_exec(nullptr, nullptr, nullptr, -999, -999, 0, nullptr, 0);
    // Error codes are small negative numbers; frames are hundreds of bytes.
    return answer < -64 && answer > -(1 << 20) ? std::max(-answer, kSmallestFrameSize) : 0;
}

// The study data with the recursion limit added: the engine recurses once or
// more per repetition of a group, and without a limit a long subject would
// run it off the end of the stack.
PcreExtraBlock LimitedExtra(const pcre_extra *studied, unsigned long recursionLimit)
{
    PcreExtraBlock block{};
    if (studied) {
        const auto *given = reinterpret_cast<const PcreExtraBlock *>(studied);
        block.flags = given->flags & (PCRE_EXTRA_STUDY_DATA | PCRE_EXTRA_MATCH_LIMIT | PCRE_EXTRA_EXECUTABLE_JIT
                                      | PCRE_EXTRA_MATCH_LIMIT_RECURSION);
        block.study_data = given->study_data;
        block.match_limit = given->match_limit;
        block.executable_jit = given->executable_jit;
        if (block.flags & PCRE_EXTRA_MATCH_LIMIT_RECURSION)
            recursionLimit = std::min(recursionLimit, given->match_limit_recursion);
    }
    block.flags |= PCRE_EXTRA_MATCH_LIMIT_RECURSION;
    block.match_limit_recursion = recursionLimit;
    return block;
}

void SearchInChild(const PcreSearch::Request &request, void *shared)
{
    auto *answer = static_cast<SharedAnswer *>(shared);
    answer->stage = Stage::Matching;
    answer->offsetsSize = request.offsetsSize;
    const PcreEntryPoints &api = request.library->Api();
    const unsigned long limit = PcreSearch::RecursionLimitFor(EngineFrameSize(api));
    PcreExtraBlock extra = LimitedExtra(request.extra, limit);
    answer->result = api.pcre_exec(request.code, reinterpret_cast<const pcre_extra *>(&extra), request.subject,
                                   request.length, answer->startOffset, answer->options, answer->offsets,
                                   request.offsetsSize);
    answer->stage = Stage::Done;
}

// The compile, the study and the queries the caller will make, the search
// with that pattern, and the pattern given back as the caller will. A
// compile that fails, or a capture count that cannot be, leaves the stage at
// Compiling: nothing was searched.
void CompileAndSearchInChild(const PcreSearch::Request &request, void *shared)
{
    auto *answer = static_cast<SharedAnswer *>(shared);
    bool searched = false;
    request.library->TryOut(request.pattern, request.compileOptions, request.tables,
                            [&](const pcre *code, const pcre_extra *extra) {
                                std::string problem;
                                PcreSearch::Request search = request;
                                search.code = code;
                                search.extra = extra;
                                search.offsetsSize = PcreOffsetsSizeFor(*request.library, code, extra, &problem);
                                if (search.offsetsSize == 0)
                                    return;
                                SearchInChild(search, shared);
                                answer->stage = Stage::Releasing;
                                searched = true;
                            });
    if (searched)
        answer->stage = Stage::Done;
}

// A new process starts with none of its pages in the processor's address
// caches: its first pass over a 10 MB subject took 15 to 20 percent longer
// than the same call in the window. Reading a byte of every page while the
// user still looks at the previous match saves the search that time.
void TouchPages(const char *bytes, int length)
{
    volatile char sink = 0;
    for (int at = 0; at < length; at += 4096)
        sink = char(sink + bytes[at]);
}

std::string Pair(int index, int start, int end)
{
    return "pair " + std::to_string(index) + " is " + std::to_string(start) + ".." + std::to_string(end);
}

} // namespace

PcreSearch::~PcreSearch() = default;

unsigned long PcreSearch::RecursionLimitFor(int frameSize)
{
    const int frame = frameSize > 0 ? frameSize : kAssumedFrameSize;
    return ContainedCall::UsableStackSize() / std::size_t(frame);
}

bool PcreSearch::EnsureCall(const Request &request)
{
    const std::size_t needed = SharedSizeFor(request.offsetsSize);
    // A running call keeps its block: Start() then refuses.
    if (m_call && (m_call->SharedSize() >= needed || m_call->IsRunning()))
        return false;
    m_call = std::make_unique<ContainedCall>(needed);
    return true;
}

static bool SameSearch(const PcreSearch::Request &a, const PcreSearch::Request &b)
{
    return a.library == b.library && a.code == b.code && a.extra == b.extra && a.subject == b.subject
           && a.length == b.length && a.offsetsSize == b.offsetsSize;
}

bool PcreSearch::Start(const Request &given)
{
    Request request = given;
    if (!request.code)
        request.offsetsSize = kMostOffsets;
    m_request = request;
    const bool usePrepared = m_call && m_call->IsPrepared() && SameSearch(request, m_prepared);
    if (!usePrepared)
        EnsureCall(request);
    if (auto *shared = static_cast<SharedAnswer *>(m_call->Shared())) {
        shared->startOffset = request.startOffset;
        shared->options = request.options;
        shared->stage = request.code ? Stage::Matching : Stage::Compiling;
    }
    if (usePrepared)
        return m_call->Go();
    if (!request.code)
        return m_call->Start([request](void *block) { CompileAndSearchInChild(request, block); });
    return m_call->Start([request](void *block) { SearchInChild(request, block); });
}

void PcreSearch::PrepareNext(const Request &request)
{
    EnsureCall(request);
    m_prepared = request;
    m_call->Prepare([request](void *block) { SearchInChild(request, block); },
                    [request] { TouchPages(request.subject, request.length); });
}

void PcreSearch::DiscardPrepared()
{
    if (m_call)
        m_call->Discard();
}

PcreSearch::Answer PcreSearch::Finish()
{
    Answer answer;
    const ContainedCall::Outcome outcome = m_call->Result();
    const auto *shared = static_cast<const SharedAnswer *>(m_call->Shared());
    // Read once: a process the library left behind may still write to the
    // block.
    const Stage stage = shared ? shared->stage : m_request.code ? Stage::Matching : Stage::Compiling;
    answer.stage = stage;
    switch (outcome.ending) {
    case ContainedCall::Ending::Returned:
        break;
    case ContainedCall::Ending::Stopped:
    case ContainedCall::Ending::TimedOut:
        answer.kind = Answer::Kind::Stopped;
        return answer;
    default:
        answer.kind = Answer::Kind::Crashed;
        answer.problem = outcome.Describe();
        return answer;
    }
    if (stage != Stage::Done) {
        answer.kind = Answer::Kind::NotSearched;
        return answer;
    }
    answer.result = shared->result;
    if (answer.result <= 0)
        return answer;
    // A search that compiled its pattern sized its own vector; the block
    // has room for the largest.
    const int size = m_request.code ? m_request.offsetsSize : shared->offsetsSize;
    if (size < 3 || size > m_request.offsetsSize || size % 3 != 0) {
        answer.kind = Answer::Kind::BadAnswer;
        answer.problem = "an offsets vector of " + std::to_string(size) + " ints";
        return answer;
    }
    answer.offsets.assign(shared->offsets, shared->offsets + size);
    answer.problem = PcreCheckOffsets(answer.result, answer.offsets.data(), size, m_request.length);
    if (!answer.problem.empty()) {
        answer.kind = Answer::Kind::BadAnswer;
        return answer;
    }
    // As the engine documents: pairs past the result are unset. What a
    // library left there is not read as offsets.
    for (int i = 2 * answer.result; i < 2 * (size / 3); ++i)
        answer.offsets[std::size_t(i)] = -1;
    return answer;
}

PcreSearch::Answer PcreSearch::Run(const Request &request)
{
    PcreSearch search;
    search.Start(request);
    search.Call().WaitForEnd();
    return search.Finish();
}

int PcreOffsetsSizeFor(const PcreLibrary &library, const pcre *code, const pcre_extra *extra, std::string *problem)
{
    const auto count = library.FullInfo<PCRE_INFO_CAPTURECOUNT>(code, extra);
    const auto size = library.FullInfo<PCRE_INFO_SIZE>(code, extra);
    // Each subpattern takes several bytes of the compiled pattern.
    if (count && *count >= 0 && *count <= PCRE_MAX_CAPTURES && (!size || std::size_t(*count) <= *size))
        return *count * 3 + 3;
    *problem = count ? std::to_string(*count) + " capturing subpatterns" : "no count of capturing subpatterns";
    return 0;
}

std::string PcreCheckOffsets(int result, const int *offsets, int offsetsSize, int length)
{
    const int pairs = offsetsSize / 3;
    if (result > pairs)
        return "it reported " + std::to_string(result) + " pairs of offsets, where there is room for "
               + std::to_string(pairs);
    for (int i = 0; i < result; ++i) {
        const int start = offsets[2 * i];
        const int end = offsets[2 * i + 1];
        if (i > 0 && start == -1 && end == -1)
            continue;   // a subpattern that took no part
        if (start < 0 || end < 0 || start > length || end > length)
            return Pair(i, start, end) + ", outside the " + std::to_string(length) + " bytes of the input";
        // \K inside an assertion may leave the whole match starting after
        // its end; no subpattern can.
        if (start > end && i > 0)
            return Pair(i, start, end) + ": it starts after its end";
    }
    return {};
}
