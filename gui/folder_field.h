#pragma once

#include <QString>

namespace gui {

// A download folder as typed into a dialog, made absolute: a folder is
// always handed over whole, since a relative one would be taken from
// wherever the engine happens to run. "~" stands for the home folder.
QString AbsoluteFolder(const QString& typed);

}  // namespace gui
