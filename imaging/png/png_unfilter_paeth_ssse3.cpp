// The Paeth kernel built for SSSE3: palignr brings the left pixel into place.
#include "png_unfilter_paeth.h"

#include "png_unfilter_paeth_kernel.h"

namespace imaging::png {

void UnfilterPaethRowSsse3(std::uint8_t* row, const std::uint8_t* prior, std::size_t rowBytes, int bytesPerPixel)
{
    UnfilterPaethRowHere(row, prior, rowBytes, bytesPerPixel);
}

} // namespace imaging::png
