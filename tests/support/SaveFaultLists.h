#pragma once

#include <QByteArray>
#include <QStringList>

// The lists the save fault tests write, shared by the test and its child
// process so that the test knows every file a save may leave.

// count entries "/<tag>/IMG_00000.jpg" and on.
QStringList faultTestList(const QString& tag, int count);
// The file that saving faultTestList(tag, count) writes.
QByteArray faultTestBytes(const QString& tag, int count);
