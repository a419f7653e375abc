#pragma once

#include <QStringList>

// Names that every text quoting a host's name must show as they are: format places, a percent
// sign, quotes, a backslash, markup and a line break.
inline QStringList hostileNames() {
    return {QStringLiteral("blur%2"),         QStringLiteral("%1"),
            QStringLiteral("%L1 %3"),         QStringLiteral("50%"),
            QStringLiteral("say \"hi\" 'x'"), QStringLiteral("back\\slash"),
            QStringLiteral("<b>&amp;"),       QStringLiteral("two\nlines")};
}
