#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

namespace lumacore {

class CRecoveryApp;

// Writes a PNG of every page and dialog (and a sheet of every button face in its four states) into
// `folder`, driving the real windows with the disks `app` knows, the window at `windowSize` (its designed
// size when empty). Returns the files written.
QStringList WriteScreenshots(CRecoveryApp& app, const QString& folder, QSize windowSize = QSize());

}  // namespace lumacore
