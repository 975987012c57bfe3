#pragma once
// The artwork of the bitmap resources, drawn with QPainter so that every
// size is rendered from the same shapes: the strips are 22x22 cells at 1x and
// 44x44 at 2x. Used only by the generator that writes the PNG files at build
// time (see CMakeLists.txt); the program loads those files.

#include <QImage>

// The strips as the image lists take them: cells side by side, magenta
// (255, 0, 255) wherever a cell is transparent, no alpha channel. scale is
// the device pixel ratio the strip is drawn for (1 or 2).
QImage DrawPageStates(int scale); // bitmap 201: unread, read, deleted mark, new
QImage DrawTreeIcons(int scale);  // bitmap 202: folder open, folder closed, unread, failed, read
QImage DrawAboutLogo(int scale);  // bitmap 241: 240x72 at 1x, opaque
// The program's icon for the desktop, with an alpha channel.
QImage DrawAppIcon(int size);
