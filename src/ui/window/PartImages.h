// The thirteen structure images (index = TPartImage), drawn from the
// program's own SVG resources at 1x and 2x.
#pragma once

#include <QIcon>

namespace tessel {

const QIcon& PartImage(int index);

}  // namespace tessel
