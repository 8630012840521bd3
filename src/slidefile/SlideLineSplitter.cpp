#include "slidefile/SlideLineSplitter.h"

#include <QFile>

#include <algorithm>

void SlideLineSplitter::feed(QByteArrayView chunk, QStringList& lines) {
    const char* next = chunk.data();
    const char* const end = next + chunk.size();
    if (next == end)
        return;
    if (afterCarriageReturn_ && *next == '\n')
        ++next;
    afterCarriageReturn_ = false;
    while (next != end) {
        const char* const stop =
            std::find_if(next, end, [](char byte) { return byte == '\r' || byte == '\n'; });
        if (stop == end) {
            partial_.append(next, end - next);
            return;
        }
        appendLine(next, stop, lines);
        next = stop + 1;
        if (*stop == '\r') {
            if (next == end)
                afterCarriageReturn_ = true;
            else if (*next == '\n')
                ++next;
        }
    }
}

void SlideLineSplitter::finish(QStringList& lines) {
    if (!partial_.isEmpty())
        appendLine(nullptr, nullptr, lines);
    afterCarriageReturn_ = false;
}

void SlideLineSplitter::appendLine(const char* begin, const char* end, QStringList& lines) {
    if (partial_.isEmpty()) {
        // Decoded straight from the chunk: no copy of the bytes per line.
        lines.append(QFile::decodeName(QByteArray::fromRawData(begin, end - begin)));
        return;
    }
    partial_.append(begin, end - begin);
    lines.append(QFile::decodeName(partial_));
    partial_.resize(0);
}
