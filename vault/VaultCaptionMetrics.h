// Where the vault window's self-drawn caption puts its buttons (the
// caption itself is every program's, ui/CustomCaption.h): a minimise and a
// close button hanging from the top edge at the right, no maximise button.
#pragma once

#include "CaptionLayout.h"

namespace corva::vault {

constexpr corva::ui::CaptionMetrics kVaultCaptionMetrics{
    80, 54, 54,  // minimise and close from the right edge (no maximise column)
    1,           // button top
    1, 16,       // button row: below the top line, down to 16
    12,          // the close button ends 12 from the right edge
    32, 0, 48,   // button sizes
    25, 6, 16};  // title x, icon x and icon size

}  // namespace corva::vault
