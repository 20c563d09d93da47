# Writes OUTPUT, a C++ file that holds the files FILES (comma-separated
# names relative to SOURCE_DIR) as WebAssets() for WebPage.h. Run as cmake -P.
string(REPLACE "," ";" FILES "${FILES}")
set(entries "")
set(arrays "")
set(index 0)
foreach(name IN LISTS FILES)
  file(READ "${SOURCE_DIR}/${name}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(APPEND arrays "constexpr char kAsset${index}[] = {${bytes}};\n")
  string(APPEND entries "    {\"/${name}\", {kAsset${index}, ${size}}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.partial" "// Written by EmbedWebAssets.cmake from remote/web/; do not edit.
#include \"WebPage.h\"

namespace {

${arrays}
const WebAsset kAssets[] = {
${entries}};

}  // namespace

std::span<const WebAsset> WebAssets() { return kAssets; }
")
file(RENAME "${OUTPUT}.partial" "${OUTPUT}")
