#pragma once

#include <QString>
#include <ostream>

// GoogleTest prints QStrings (and so QStringLists) as text in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
