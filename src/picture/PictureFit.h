#pragma once

#include <QRect>
#include <QSize>

// size scaled down to fit within box with its proportions kept, never
// enlarged, and at least one pixel each way unless size is empty.
QSize shrinkToFit(QSize size, QSize box);

// Where a picture of the given size is drawn in an area of the given size:
// shrunk to fit and centred.
QRect centredPictureRect(QSize picture, QSize area);
