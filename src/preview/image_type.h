#pragma once

#include <string_view>

namespace lumacore {

// The image decoder's type code for a file name, by its last three or four characters (case ignored):
// 1 bmp, 2 gif, 3 jpg/jpeg, 4 png, 5 ico, 6 tif/tiff, 7 tga, 8 pcx, 9 wbmp, 10 wmf/emf, 11 j2k/jp2,
// 12 j2c/jpc, 13 pgx, 14 pnm/pgm/ppm, 15 ras; 0 when the name is not a picture's. The first match wins,
// so ".wbmp" gives 1.
int ImageTypeFromName(std::string_view name);

// True when `name` ends with `tail` (given in lower case), case ignored; an empty tail never matches.
bool EndsWithNoCase(std::string_view name, std::string_view tail);

}  // namespace lumacore
