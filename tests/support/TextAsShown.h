// How a text the program puts on screen reads to the user: the invisible marks that keep a name's
// writing direction to itself left out, a menu row's key marks taken as menus take them, and whether the
// words after a name stand where a reader looks for them.
#pragma once

#include <QFont>
#include <QLabel>
#include <QString>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <string>

namespace korvane::testing {

// The text without the directional isolates (U+2066…U+2069), which show nothing.
inline std::string withoutIsolates(const QString& text) {
    QString shown;
    for (const QChar c : text)
        if (c.unicode() < 0x2066 || c.unicode() > 0x2069) shown += c;
    return shown.toStdString();
}

// A menu row's text as its menu shows it: a single "&" marks the row's key and shows nothing, "&&" shows
// one "&"; a tab ends the text column, what follows it standing in the shortcut column.
inline std::string menuRowAsShown(const QString& text) {
    QString shown;
    for (qsizetype i = 0; i < text.size() && text[i] != '\t'; ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        shown += text[i];
    }
    return withoutIsolates(shown);
}

// Whether the characters from `from` on stand left to right, each after the one before it and after
// everything before them, as the text is laid out on one line of a left-to-right window.
inline bool readsOnLeftToRightFrom(const QString& text, qsizetype from) {
    QTextLayout layout(text, QFont());
    QTextOption option;
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(100000);
    layout.endLayout();
    double before = 0;
    for (qsizetype i = 0; i < from; ++i)
        before = std::max(before, line.cursorToX(int(i)));
    double last = before;
    for (qsizetype i = from; i < text.size(); ++i) {
        // Where the character at i begins: its left edge for a left-to-right character.
        const double x = line.cursorToX(int(i));
        if (x < last) return false;
        last = x;
    }
    return true;
}

// Whether the label shows the whole of its text: laid out as the label lays it out (on one line, or
// wrapped between words), no line is wider than the label and the lines together are no taller than it.
inline bool showsAllOf(const QLabel& label) {
    QTextLayout layout(label.text(), label.font());
    QTextOption option;
    option.setWrapMode(label.wordWrap() ? QTextOption::WordWrap : QTextOption::NoWrap);
    layout.setTextOption(option);
    const QRect room = label.contentsRect();
    bool fits = true;
    double height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(room.width());
        fits = fits && line.naturalTextWidth() <= room.width() + 0.5;
        height += line.height();
    }
    layout.endLayout();
    return fits && height <= room.height() + 0.5;
}

} // namespace korvane::testing
