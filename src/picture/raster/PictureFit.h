#pragma once

#include <QRect>
#include <QSize>

// size scaled down to fit within box with its proportions kept, never
// enlarged, and at least one pixel each way unless size is empty.
QSize shrinkToFit(QSize size, QSize box);

// Where a picture of the given size is drawn in an area of the given size:
// shrunk to fit and centred.
QRect centredPictureRect(QSize picture, QSize area);

// Where a picture is drawn in a control whose rectangle may reach past the
// part of its container that is on view (a control placed by the window's
// outer size reaches below the client area): shrunk to fit the part of the
// control that shows, and centred there. control and visible in the
// container's coordinates, the result in the control's own. A control that
// shows whole gets centredPictureRect(picture, control.size()).
QRect shownPictureRect(QSize picture, QRect control, QRect visible);
