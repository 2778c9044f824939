#include "BenchInputs.h"

#include <QFile>
#include <QRandomGenerator>

#include <sys/resource.h>

QString ShapeName(InputShape shape)
{
    switch (shape) {
    case InputShape::Lines: return QStringLiteral("lines");
    case InputShape::OneLine: return QStringLiteral("one line");
    case InputShape::MultiByte: return QStringLiteral("multi-byte");
    case InputShape::RandomBytes: return QStringLiteral("random bytes");
    }
    return {};
}

QByteArray MarkerFor(InputShape shape, bool nearEnd)
{
    const QByteArray digits = nearEnd ? "43" : "42";
    return shape == InputShape::MultiByte ? QByteArray("\xD0\x96\xD0\x96\xD0\x96") + digits
                                          : QByteArray("NEEDLE") + digits;
}

QByteArray MarkerPatternFor(InputShape shape)
{
    return shape == InputShape::MultiByte ? QByteArray("(?:\xD0\x96){3}\\d+") : QByteArray("NEEDLE\\d+");
}

namespace {

QByteArray Filler(InputShape shape, qsizetype size)
{
    QByteArray out;
    out.reserve(size + 64);
    if (shape == InputShape::RandomBytes) {
        out.resize(size);
        QRandomGenerator generator(42);
        generator.fillRange(reinterpret_cast<quint32 *>(out.data()), size / 4);
        return out;
    }
    // Every character of the multi-byte shape takes two or three bytes.
    const QByteArray words = shape == InputShape::MultiByte
                                 ? QByteArray("\xD1\x81\xD0\xBB\xD0\xBE\xD0\xB2\xD0\xBE \xE6\x96\x87\xE5\xAD\x97 \xC3\xA9t\xC3\xA9 ")
                                 : QByteArray("lorem ipsum dolor sit amet consectetur adipiscing elit ");
    const char separator = shape == InputShape::OneLine ? ' ' : '\n';
    while (out.size() < size) {
        out += words;
        if (out.size() % 80 < words.size())
            out += separator;
    }
    out.truncate(size);
    return out;
}

} // namespace

QByteArray MakeInput(InputShape shape, qsizetype size)
{
    QByteArray input = Filler(shape, size);
    // Markers go right after a space, where a character starts.
    auto place = [&](qsizetype at, const QByteArray &marker) {
        const qsizetype space = shape == InputShape::RandomBytes ? -1 : input.indexOf(' ', at);
        const qsizetype where = space < 0 ? at : space + 1;
        input.replace(where, marker.size(), marker);
    };
    place(1000, MarkerFor(shape, false));
    place(size - 1024, MarkerFor(shape, true));
    return input;
}

namespace {

qint64 StatusField(const char *name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(name))
            return line.mid(qstrlen(name)).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return 0;
}

} // namespace

qint64 PeakRss() { return StatusField("VmHWM:"); }
qint64 CurrentRss() { return StatusField("VmRSS:"); }

double CpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}
