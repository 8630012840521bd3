#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// A picture as shown: a copy no larger than the decoder's bound, and the
// full picture's size, both upright (EXIF or TIFF orientation applied).
// PictureDecoder hands it over in the display's colours and format (RGB32,
// or ARGB32 premultiplied where it has alpha). A decoder in decode/ hands it
// over in the file's colours, with the profile they are in; CMYK whose
// profile converts inks stays inks (ColourConversion::inksFormat) until
// ColourConversion turns it into the display's colours.
struct DecodedPicture {
    QImage image;
    QSize fullSize;
    // The ICC profile the pixels are in (the file's, or Adobe RGB where only
    // the EXIF says so); empty when they are in none, and once converted.
    QByteArray iccProfile;
};
