// The Paeth kernel built for SSE4.1: palignr, and pblendvb for the selects.
#include "png_unfilter_paeth.h"

#include "png_unfilter_paeth_kernel.h"

namespace imaging::png {

void UnfilterPaethRowSse41(std::uint8_t* row, const std::uint8_t* prior, std::size_t rowBytes, int bytesPerPixel)
{
    UnfilterPaethRowHere(row, prior, rowBytes, bytesPerPixel);
}

} // namespace imaging::png
