// The "play" glyph of the sound test buttons, drawn for this program.
#pragma once

#include <QIcon>

QIcon playIcon();
