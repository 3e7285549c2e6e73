// Window layouts are written in the units they were designed in. The toolkit's logical pixel is 1/96 inch
// and the toolkit scales it to the screen, so a layout designed at 120 pixels per inch shrinks by 96/120,
// rounded to the nearest pixel.
#pragma once

namespace vantrel::ui::qt {

constexpr int At120Ppi(int units) { return (units * 96 + 60) / 120; }

}  // namespace vantrel::ui::qt
