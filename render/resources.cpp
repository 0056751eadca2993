#include "render/resources.h"

namespace bg {

SImageRef IBack1, IBack2, IBack3, IBackImg;
SImageRef IBlock, IBlockRev, IFlag, IMine, IClock, ITextBox;
ImageRef IMineImg;
FontRef FArialBold40, FArialBold20;

}  // namespace bg
