#pragma once

#include <QString>
#include <QStringList>

struct PictureTarget;

struct ShowBenchOptions {
    // Where the generated pictures are cached; empty for the user's cache.
    QString pictureFolder;
    // Ticks of the show timed at its own pace.
    int ticks = 100;
    // Steps of the show with bursts whose peak memory is read.
    int longSteps = 300;
    // Only the prepared steps, the bursts and the peak memory.
    bool brief = false;
    // Steps through each of the formats' pictures too (FormatPictures.h),
    // prefetched, and cold unless brief.
    bool formats = false;
};

// Figures for a slide show as the user sees it: key or tick to picture on
// screen, the event thread's longest busy stretch, the timer's drift, the
// peak memory of a long show, and the cold decode against the libraries'
// own tools.
void benchShow(const ShowBenchOptions& options);

// The cold decode of one file of each kind against djpeg and tiffcp, and
// the explorer's preview of a 24-megapixel JPEG.
void benchShowDecodes(const QString& jpeg, const QString& tiff);

// The least time two cores take to decode the pictures for the target,
// with the player's own decoder (helpers included where installed): two
// threads taking the next file.
double twoCoreDecodeMs(const QStringList& pictures, const PictureTarget& target);
