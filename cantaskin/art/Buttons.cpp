#include "Artwork.h"

#include "ArtKit.h"

namespace art {

void AddButtons(Pieces&) {}

} // namespace art
