#include "EngineMessages.h"

#include "PcreApi.h"
#include "PcreSearch.h"

namespace {

const char *ExecErrorName(int result)
{
    switch (result) {
    case 0: return "offsets vector too small";
    case PCRE_ERROR_NULL: return "no compiled pattern";
    case PCRE_ERROR_BADOPTION: return "unknown option bit";
    case PCRE_ERROR_BADMAGIC: return "not a compiled pattern of this library";
    case PCRE_ERROR_UNKNOWN_OPCODE: return "damaged compiled pattern";
    case PCRE_ERROR_NOMEMORY: return "out of memory";
    case PCRE_ERROR_NOSUBSTRING: return "no such substring";
    case PCRE_ERROR_MATCHLIMIT: return "match limit exceeded";
    case PCRE_ERROR_CALLOUT: return "callout error";
    case PCRE_ERROR_BADUTF8: return "invalid UTF-8 in the input";
    case PCRE_ERROR_BADUTF8_OFFSET: return "start offset inside a UTF-8 character";
    case PCRE_ERROR_PARTIAL: return "partial match";
    case PCRE_ERROR_INTERNAL: return "internal engine error";
    case PCRE_ERROR_BADCOUNT: return "bad offsets vector size";
    case PCRE_ERROR_RECURSIONLIMIT: return "recursion limit exceeded";
    case PCRE_ERROR_BADNEWLINE: return "bad newline option";
    case PCRE_ERROR_BADOFFSET: return "bad start offset";
    case PCRE_ERROR_SHORTUTF8: return "truncated UTF-8 character at the end of the input";
    case PCRE_ERROR_RECURSELOOP: return "recursion loop";
    case PCRE_ERROR_JIT_STACKLIMIT: return "JIT stack limit exceeded";
    default: return "unknown error";
    }
}

QString StageName(PcreSearch::Answer::Stage stage)
{
    switch (stage) {
    case PcreSearch::Answer::Stage::Compiling: return QStringLiteral("compiling the pattern");
    case PcreSearch::Answer::Stage::Releasing: return QStringLiteral("freeing the pattern");
    case PcreSearch::Answer::Stage::Matching:
    case PcreSearch::Answer::Stage::Done: break;
    }
    return QStringLiteral("matching");
}

} // namespace

QString ExecResultMessage(int result)
{
    if (result == PCRE_ERROR_NOMATCH)
        return QStringLiteral("Not match.");
    return QStringLiteral("Engine error %1: %2.").arg(result).arg(QLatin1String(ExecErrorName(result)));
}

QString SearchFailureMessage(const PcreSearch::Answer &answer)
{
    using Kind = PcreSearch::Answer::Kind;
    switch (answer.kind) {
    case Kind::Stopped:
        return answer.stage == PcreSearch::Answer::Stage::Compiling
                   ? QStringLiteral("The search was stopped while the engine was compiling the pattern.")
                   : QStringLiteral("The search was stopped.");
    case Kind::BadAnswer:
        return ImpossibleAnswerMessage(QStringLiteral("offsets: %1").arg(QString::fromStdString(answer.problem)));
    case Kind::Crashed:
        return QStringLiteral("The engine %1 while %2.")
            .arg(QString::fromStdString(answer.problem), StageName(answer.stage));
    case Kind::NotSearched:
        return ImpossibleAnswerMessage(QStringLiteral("results: the pattern compiled differently twice"));
    case Kind::Result:
        break;
    }
    return ExecResultMessage(answer.result);
}

QString ImpossibleAnswerMessage(const QString &what)
{
    return QStringLiteral("Engine error: the library reported impossible %1.").arg(what);
}

QString CompileErrorMessage(const std::string &errorText, int errorOffset)
{
    const QString text = errorText.empty() ? QStringLiteral("compile failed") : QString::fromLatin1(errorText);
    return errorOffset < 0 ? text : QStringLiteral("%1 (at offset %2)").arg(text).arg(errorOffset);
}

QString NoLibraryMessage()
{
    return QStringLiteral("First, load PCRE.dll...");
}

QString NameTableMessage(const std::string &problem)
{
    return QStringLiteral("Engine error: the library's table of names cannot be read (%1); subpatterns are listed"
                          " by number.")
        .arg(QString::fromStdString(problem));
}
