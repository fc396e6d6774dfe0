#include "Artwork.h"

#include "ArtKit.h"

namespace art {

void AddCharacters(Pieces&) {}

} // namespace art
