#pragma once
// Markup text drawing: the drawing of label texts that carry a few HTML-like
// tags, with the inputs of plain text drawing (painter, text, length, rect,
// format flags). Tags, compared without case: <b>/<strong>, <i>/<em>, <u>,
// <sub>, <sup>, <font color=...> (the colour as RRGGBB, optionally after "#"
// and inside single or double quotes; </font> restores the one before),
// <br> (new line) and <p> (new paragraph, 1.5 lines; not at the very start).
// Anything else between "<" and ">" is drawn as text, and so is a "<" that
// starts no tag.
//
// Words are drawn left-aligned, one space apart where the text had white
// space; with DT_WORDBREAK a word that does not fit moves to the next line,
// without it the line grows. DT_SINGLELINE ignores line and paragraph
// breaks. DT_CALCRECT only measures: rect gets the width of the widest line
// and the height. The painter's font is the base font (sub- and superscript
// at 7/10 of its size) and its pen colour the starting colour; both are as
// they were when the call returns. Returns the height used in pixels.

#include <QRect>
#include <QString>
#include <cstdint>

class QPainter;

using UINT = std::uint32_t;

inline constexpr UINT DT_LEFT = 0x0000;
inline constexpr UINT DT_CENTER = 0x0001;
inline constexpr UINT DT_RIGHT = 0x0002;
inline constexpr UINT DT_WORDBREAK = 0x0010;
inline constexpr UINT DT_SINGLELINE = 0x0020;
inline constexpr UINT DT_CALCRECT = 0x0400;
inline constexpr UINT DT_NOPREFIX = 0x0800;

// length: the number of characters of text to draw, or -1 for all of it.
int DrawMarkupText(QPainter& painter, const QString& text, int length, QRect& rect, UINT format);
