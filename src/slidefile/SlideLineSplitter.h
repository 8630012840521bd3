#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

// Cuts the bytes of a slide show file into entries as they stream in. A line
// ends at CR LF, at a lone CR (the classic line end) and at a lone LF (files
// edited on Linux); a CR LF split over two chunks still counts once. Each
// line is decoded the way the platform names files, so it is a path again.
class SlideLineSplitter {
public:
    // Appends every line that chunk completes to lines.
    void feed(QByteArrayView chunk, QStringList& lines);
    // The stream has ended: a last line without its terminator is still an
    // entry.
    void finish(QStringList& lines);

private:
    void appendLine(const char* begin, const char* end, QStringList& lines);

    // The start of a line whose end has not arrived yet.
    QByteArray partial_;
    // The previous chunk ended on CR: an LF opening the next one belongs to it.
    bool afterCarriageReturn_ = false;
};
