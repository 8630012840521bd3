#pragma once

#include <QImage>
#include <QSize>

// A screen-sized picture's pixels, mapped straight from the system rather
// than taken from the heap: they go back to the system the moment the last
// copy of the image goes, so the resident size follows the pictures alive
// instead of the heap's high-water mark of every thread that decoded one,
// and they are mapped in large pages where the system offers them, which
// takes a fraction of the page faults. Null when the memory is not there.
// Any thread may call it.
//
// Overwritten: the caller writes every byte before it reads any. While a
// LargeImageRecycling lives, such an image may be given the pages of the
// last one of exactly its length, kept when that one went (as a show's
// pictures go and come, one a step): the system then need not zero fresh
// pages, 3 ms for a 4K picture.
enum class LargeImageUse { Zeroed, Overwritten };
QImage largeImage(QSize size, QImage::Format format, LargeImageUse use = LargeImageUse::Zeroed);

// While one lives, the pages of the last image allocated Overwritten to
// go are kept for the next (one at a time: a process holds at most one
// picture more than it uses); when the last one goes, so do they. For a
// show's decodes; elsewhere pictures give their pages straight back. Any
// thread may make one.
class LargeImageRecycling {
public:
    LargeImageRecycling();
    ~LargeImageRecycling();
    LargeImageRecycling(const LargeImageRecycling&) = delete;
    LargeImageRecycling& operator=(const LargeImageRecycling&) = delete;
};

// Gives back the kept pages, if any: for a process going idle. Any thread
// may call it.
void releaseSpareLargeImage();
